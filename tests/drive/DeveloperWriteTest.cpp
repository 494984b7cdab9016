// The developers' bulk write: entries in both framings, the link held back, the reset, the stops.

#include <gtest/gtest.h>

#include "drive/DeveloperWrite.h"
#include "model/DriveFacts.h"
#include "link/LineSession.h"
#include "sim/SimulatedPort.h"
#include "support/DriveWrites.h"
#include "support/LineTap.h"

namespace velorin {
namespace {

// A port that remembers the settings of every open.
struct RecordingPort : SimulatedPort {
    using SimulatedPort::SimulatedPort;
    OpenResult open() override {
        opens.push_back(settings());
        return SimulatedPort::open();
    }
    std::vector<std::string> opens;
};

// A write as it went out: framing, station, register, word.
using Sent = std::tuple<Framing, int, int, int>;
constexpr Framing A = Framing::Ascii, R = Framing::Rtu;
using Log = test::Writes;

using Kind = DeveloperNotice::Kind;

// The summary's numbers: writes confirmed and the registers not confirmed.
std::pair<int, std::vector<int>> summary(const DeveloperNotice& told) {
    EXPECT_EQ(told.kind, Kind::Finished);
    return {told.confirmed, told.unconfirmed};
}

// A drive at `settings` and `station`, the link state that reaches it, and what a run showed.
struct Bench {
    Bench(const char* settings, std::uint8_t station)
        : link{station, framingOfFormat(*formatIndexOf(settings)), false, 1, settings} {
        drive.setLink(station, *rateIndexOf(settings), *formatIndexOf(settings));
    }
    DeveloperWriteResult run(std::string file) {
        hooks.chooseFile = [this, file]() -> std::optional<std::string> {
            fileAsked = true;
            return cancel ? std::nullopt : std::optional(file);
        };
        hooks.tell = [this](const DeveloperNotice& n) { told.push_back(n); };
        test::LineTap tap(session.observers(), [this](const TransactionRecord& t) {
            if (t.function == FunctionCode::WriteRegister)
                sent.emplace_back(t.framing, t.station, t.reg, t.word);
        });
        const auto result = runDeveloperWrite(session, link, hooks);
        EXPECT_FALSE(session.isOpen());
        return result;
    }
    Log writeLog() const { return test::writesOf(drive); }

    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    RecordingPort* port = new RecordingPort(line, clock);
    LineSession session{std::unique_ptr<SerialPort>(port)};
    LinkState link;
    DeveloperWriteHooks hooks;
    bool cancel = false;  // the technician cancels the file dialog
    bool fileAsked = false;
    std::vector<DeveloperNotice> told;
    std::vector<Sent> sent;
};

TEST(DeveloperWrite, EntriesGoOutAsEachFramingCarriesThem) {
    const std::tuple<const char*, Log, Log> cases[] = {
        // file, ASCII, RTU (where it differs)
        {"P256 1\r\nP300 2\r\nP546 0", {{0x0100, 1}, {0x012C, 2}, {0x0222, 0}}, {}},
        {"P123 -10,P124 65535,P125 -32768", {{123, 0xFFF6}, {124, 0xFFFF}, {125, 0x8000}}, {}},
        {"P123 70000", {}, {{123, 0xEE90}}},  // 131072 - 70000 over RTU; refused over ASCII
        // Numbers outside 0-562 are passed over; P496 -1 stands for no station entry.
        {"P999 5,P-3 5,P496 -1\n  P10 3,,\r\n\r\nP11 4", {{10, 3}, {11, 4}}, {}},
        {"", {}, {}},
    };
    for (const auto& [file, ascii, rtu] : cases) {
        for (const char* settings : {"9600,N,7,2", "9600,N,8,1"}) {
            SCOPED_TRACE(std::string(file) + " " + settings);
            Bench b(settings, 1);
            const Log& expected = isRtu(b.link.framing) && !rtu.empty() ? rtu : ascii;
            const bool refused = expected.empty() && *file;
            EXPECT_EQ(b.run(file).end,
                      refused ? DeveloperWriteEnd::BadFile : DeveloperWriteEnd::Finished);
            EXPECT_EQ(b.writeLog(), expected);  // the notices and framings: the tests below
        }
    }
}

TEST(DeveloperWrite, AFaultyFileStopsBeforeAnythingIsWritten) {
    std::string tooMany = std::string(kDeveloperEntryLimit, ',');  // empty entries do not count
    for (int i = 0; i <= kDeveloperEntryLimit; ++i) tooMany += "P10 1\r\n";
    using F = DeveloperFileFault;
    const std::pair<std::string, DeveloperFileError> cases[] = {
        {"P10 1\r\nP11 2\r\nP12\r\nP13 4", {3, "P12", F::NoBlank}},
        {"P10 1,PX 7", {2, "PX 7", F::NumberNotANumber}},
        {"P10 1,P497 7", {2, "P497 7", F::BadRate}},
        {"P498 7,P10 1", {1, "P498 7", F::BadFormat}},
        {"P496 five", {1, "P496 five", F::ValueNotANumber}},
        {tooMany, {0, "", F::TooManyEntries}},
    };
    for (const auto& [file, error] : cases) {
        Bench b("9600,N,7,2", 1);
        EXPECT_EQ(b.run(file).end, DeveloperWriteEnd::BadFile);
        EXPECT_TRUE(b.writeLog().empty());
        ASSERT_EQ(b.told.size(), 1u);
        EXPECT_EQ(std::tuple(b.told[0].kind, b.told[0].fileError), std::tuple(Kind::BadFile, error));
    }
}

// Station, format and rate go last and the link follows; after a reset, the factory link.
TEST(DeveloperWrite, StationFormatAndRateGoLastAndTheLinkFollowsAsAfterAReset) {
    // start, file, writes, the settings of each open, the link's settings afterwards
    // clang-format off
    const std::tuple<const char*, const char*, std::vector<Sent>, std::vector<std::string>, std::string> cases[] = {
        // Held back wherever they stand; the rate is the list position the editor saves.
        {"9600,N,7,2", "P497 3\r\nP498 4\r\nP10 1\r\nP496 5",
         {{A, 1, 10, 1}, {A, 1, 496, 5}, {A, 5, 498, 4}, {R, 5, 497, 384}}, {"9600,N,7,2", "9600,N,8,1"}, "38400,N,8,1"},
        {"9600,N,7,2", "P497 1", {{A, 1, 497, 96}}, {"9600,N,7,2"}, "9600,N,7,2"},
        {"9600,N,7,2", "P497 1152", {{A, 1, 497, 1152}}, {"9600,N,7,2"}, "115200,N,7,2"},
        // The drive refuses station 255: the run goes on talking to it where it is.
        {"9600,N,7,2", "P496 255,P498 1", {{A, 1, 496, 255}, {A, 1, 498, 1}}, {"9600,N,7,2", "9600,E,7,1"}, "9600,E,7,1"},
        {"19200,E,8,1", "P10 1\r\nP546 3\r\nP11 -2\r\nP12 5",
         {{R, 7, 10, 1}, {R, 7, 546, 3}, {A, 1, 11, 0xFFFE}, {A, 1, 12, 5}}, {"19200,E,8,1", "9600,N,7,2"}, "9600,N,7,2"},
        {"19200,E,8,1", "P498 4\r\nP10 1\r\nP546 3\r\nP11 -2\r\nP12 5",
         {{R, 7, 10, 1}, {R, 7, 546, 3}, {A, 1, 11, 0xFFFE}, {A, 1, 12, 5}, {A, 1, 498, 4}},
         {"19200,E,8,1", "9600,N,7,2", "9600,N,8,1"}, "9600,N,8,1"}};
    // clang-format on
    for (const auto& [start, file, writes, opens, settings] : cases) {
        SCOPED_TRACE(file);
        const bool reset = std::string_view(file).find("P546 3") != std::string_view::npos;
        Bench b(start, reset ? 7 : 1);
        b.run(file);
        EXPECT_EQ(std::tie(b.sent, b.port->opens, b.link.settings), std::tie(writes, opens, settings));
        EXPECT_EQ(b.link.framing, framingOfFormat(*formatIndexOf(settings)));
        EXPECT_EQ(std::tuple(b.drive.station(), b.drive.settings()),
                  std::tuple(b.link.station, b.link.settings))
            << "the next window finds the drive";
        EXPECT_EQ(b.clock.now() >= std::chrono::seconds(2), reset);
        if (writes.size() == 2)  // station 255 refused
            EXPECT_EQ(summary(b.told.back()), std::pair(1, std::vector{496}));
        if (reset)
            EXPECT_EQ(summary(b.told.back()),
                      std::pair(static_cast<int>(b.sent.size()), std::vector<int>{}));
    }
}

TEST(DeveloperWrite, EveryStopIsTold) {
    using E = DeveloperWriteEnd;
    // clang-format off
    using O = LinkOutcome;
    // what went wrong, the notice's kind, the outcome it names and the writes done before
    const std::tuple<const char*, std::function<void(Bench&)>, E, std::optional<std::tuple<Kind, O, int>>> cases[] = {
        {"port in use", [](Bench& b) { b.line.setHeldElsewhere(true); }, E::PortNotOpened,
         std::tuple(Kind::PortNotOpened, O::NoReply, 0)},
        {"no answer", [](Bench& b) { b.drive.injectFault({DriveFault::Kind::NoReply}, 3); }, E::NoReply,
         std::tuple(Kind::NoReply, O::NoReply, 0)},
        {"running", [](Bench& b) {
             b.session.open(1, b.link.settings);
             b.session.write(drive::kCommandRegister, drive::kRunForward);
             b.drive.clearWriteLog(); }, E::DriveRunning,
         std::tuple(Kind::DriveRunning, O::NoReply, 0)},
        {"adapter pulled after the first write",
         [](Bench& b) { b.hooks.progress = [&b](int, int) { b.line.setPresent(false); }; },
         E::LineFailed, std::tuple(Kind::LineLost, O::PortError, 1)},
        {"file dialog cancelled", [](Bench& b) { b.cancel = true; }, E::NoFile, std::nullopt}};
    // clang-format on
    for (const auto& [name, arrange, end, notice] : cases) {
        SCOPED_TRACE(name);
        Bench b("9600,N,7,2", 1);
        arrange(b);
        EXPECT_EQ(b.run("P10 1,P11 2").end, end);
        ASSERT_EQ(b.told.size(), notice ? 1u : 0u);
        if (notice)
            EXPECT_EQ(std::tuple(b.told[0].kind, b.told[0].reply.outcome, b.told[0].written), *notice);
        EXPECT_EQ(b.writeLog().size(), b.fileAsked && !b.cancel ? 1u : 0u);
    }
}

TEST(DeveloperWrite, UnconfirmedWritesAreCountedAndListed) {
    Bench b("9600,N,7,2", 1);
    std::vector<std::pair<int, int>> ticks;
    b.hooks.progress = [&](int done, int total) { ticks.emplace_back(done, total); };
    // P11 refused, P12 left unanswered and then not read back either.
    b.drive.injectFault({.kind = DriveFault::Kind::Exception,
                         .exceptionCode = ExceptionCode::IllegalValue,
                         .onlyRegister = 11});
    b.drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 12}, 4);
    const auto result = b.run("P10 1,P11 2,P12 3,P13 4");
    EXPECT_EQ(std::tuple(result.confirmed, result.unconfirmed), std::tuple(2, std::vector{11, 12}));
    EXPECT_EQ(summary(b.told.back()), std::pair(2, std::vector{11, 12}));
    EXPECT_EQ(ticks, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
}

}  // namespace
}  // namespace velorin
