// The developers' bulk write on a simulated drive: what each entry puts on the line in both
// framings, the held-back station, format and rate, the reset entry, and every way a run stops.

#include <gtest/gtest.h>

#include "link/DriveFacts.h"
#include "link/LineSession.h"
#include "menu/DeveloperWrite.h"
#include "sim/SimulatedPort.h"

namespace velorin {
namespace {

// A port that remembers the settings of every open.
class RecordingPort : public SimulatedPort {
public:
    using SimulatedPort::SimulatedPort;
    OpenResult open() override {
        opens.push_back(settings());
        return SimulatedPort::open();
    }
    std::vector<std::string> opens;
};

// A request as it went out: framing, station, function, register, word.
struct Sent {
    bool rtu;
    int station, function, reg, word;
    bool operator==(const Sent&) const = default;
};

Sent decode(const LinkTraceEvent& e) {
    const auto& b = e.bytes;
    if (e.rtu)
        return {true, b[0], b[1], b[2] << 8 | b[3], b[4] << 8 | b[5]};
    const std::string s(b.begin(), b.end());
    auto hex = [&s](int at, int len) { return std::stoi(s.substr(at, len), nullptr, 16); };
    return {false, hex(1, 2), hex(3, 2), hex(5, 4), hex(9, 4)};
}

std::vector<std::pair<int, int>> writeLog(const SimulatedDrive& drive) {
    std::vector<std::pair<int, int>> writes;
    for (const WriteRecord& w : drive.writeLog()) writes.emplace_back(w.reg, w.value);
    return writes;
}

class DeveloperWriteTest : public ::testing::Test {
protected:
    // The drive and the link state at the given line settings and station.
    void linkAt(const char* settings, std::uint8_t station) {
        drive.setLink(station, *rateIndexOf(settings), *formatIndexOf(settings));
        link = LinkState{station, framingOfFormat(*formatIndexOf(settings)), false, 1, settings};
    }
    DeveloperWriteResult run(std::string fileText) {
        text = std::move(fileText);
        setLinkTrace([this](const LinkTraceEvent& e) {
            if (e.sent)
                sent.push_back(decode(e));
        });
        const auto result = runDeveloperWrite(session, link, hooks);
        setLinkTrace({});
        return result;
    }
    std::vector<Sent> writesSent() const {
        std::vector<Sent> writes;
        for (const Sent& s : sent)
            if (s.function == 6)
                writes.push_back(s);
        return writes;
    }

    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    RecordingPort* port = new RecordingPort(line, clock);
    LineSession session{std::unique_ptr<SerialPort>(port)};
    LinkState link{1, Framing::Ascii, false, 1, "9600,N,7,2"};
    std::string text;
    bool fileAsked = false;
    std::vector<DeveloperMessage> told;
    std::vector<Sent> sent;
    DeveloperWriteHooks hooks{[this]() -> std::optional<std::string> {
                                  fileAsked = true;
                                  return text;
                              },
                              [this](const DeveloperMessage& m) { told.push_back(m); },
                              {}};
};

TEST_F(DeveloperWriteTest, EntriesGoOutAsEachFramingCarriesThem) {
    struct Case {
        const char* file;
        std::vector<std::pair<int, int>> ascii, rtu;  // the drive's write log
    };
    const Case cases[] = {
        {"P256 1\r\nP300 2\r\nP546 0", {{0x0100, 1}, {0x012C, 2}, {0x0222, 0}}, {}},
        {"P123 -10", {{123, 0xFFF6}}, {{123, 0xFFF6}}},
        {"P123 70000", {}, {{123, 0xEE90}}},  // 131072 - 70000 over RTU; no such word over ASCII
        {"P123 65535,P124 -32768", {{123, 0xFFFF}, {124, 0x8000}}, {}},
        {"P999 5,P-3 5,P7 1", {{7, 1}}, {}},
        {"P496 -1\nP10 3", {{10, 3}}, {}},  // -1: as if there were no station entry
        {"  P10 3,,\r\n\r\n  P11 4", {{10, 3}, {11, 4}}, {}},
        {"", {}, {}},
    };
    for (const Case& c : cases) {
        for (const char* settings : {"9600,N,7,2", "9600,N,8,1"}) {
            SCOPED_TRACE(std::string(c.file) + " " + settings);
            drive.clearWriteLog();
            told.clear();
            linkAt(settings, 1);
            const bool rtu = link.framing == Framing::Rtu;
            const auto& expected = rtu && !c.rtu.empty() ? c.rtu : c.ascii;
            const auto result = run(c.file);
            if (expected.empty() && std::string(c.file) == "P123 70000") {
                EXPECT_EQ(result.end, DeveloperWriteEnd::BadFile);
                continue;
            }
            EXPECT_EQ(result.end, DeveloperWriteEnd::Finished);
            EXPECT_EQ(writeLog(drive), expected);
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0].text, "開發參數寫入完成：寫入 " + std::to_string(expected.size()) +
                                        " 項，未確認 0 項");
            EXPECT_FALSE(session.isOpen());
        }
    }
    // The ASCII frame carries FFF6, the RTU frame the bytes FF F6.
    linkAt("9600,N,7,2", 1);
    sent.clear();
    run("P123 -10");
    EXPECT_EQ(writesSent().back(), (Sent{false, 1, 6, 123, 0xFFF6}));
    linkAt("9600,N,8,1", 1);
    sent.clear();
    run("P123 -10");
    EXPECT_EQ(writesSent().back(), (Sent{true, 1, 6, 123, 0xFFF6}));
}

TEST_F(DeveloperWriteTest, AFaultyFileStopsBeforeAnythingIsWritten) {
    std::string tooMany;
    for (int i = 0; i < kDeveloperEntryLimit + 1; ++i) tooMany += "P10 1\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"P10 1\r\nP11 2\r\nP12\r\nP13 4",
         "第 3 項「P12」：缺少編號與數值之間的空格。未寫入任何參數。"},
        {"P10 1,PX 7", "第 2 項「PX 7」：編號不是數字。未寫入任何參數。"},
        {"P10 1,P40000 7", "第 2 項「P40000 7」：編號超出範圍。未寫入任何參數。"},
        {"P10 1,P497 7",
         "第 2 項「P497 7」：傳輸速率須為 0 到 4，或 48、96、192、384、1152。未寫入任何參數。"},
        {"P498 7,P10 1", "第 1 項「P498 7」：通訊格式須在 0 到 6 之間。未寫入任何參數。"},
        {"P496 256", "第 1 項「P496 256」：站號須在 0 到 255 之間。未寫入任何參數。"},
        {"P496 five", "第 1 項「P496 five」：數值不是數字。未寫入任何參數。"},
        {"P10 70000", "第 1 項「P10 70000」：數值超出範圍。未寫入任何參數。"},
        {tooMany, "檔案超過 563 項。未寫入任何參數。"},
    };
    for (const auto& [file, message] : cases) {
        told.clear();
        EXPECT_EQ(run(file).end, DeveloperWriteEnd::BadFile);
        EXPECT_EQ(writeLog(drive), (std::vector<std::pair<int, int>>{})) << file.substr(0, 30);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].title, "檔案錯誤");
        EXPECT_EQ(told[0].text, message);
        EXPECT_FALSE(session.isOpen());
    }
    EXPECT_EQ(planDeveloperWrite(std::string(kDeveloperEntryLimit, ',') + "P1 1", Framing::Ascii)
                  .plan->writes.size(),
              1u)
        << "empty entries do not count";
}

TEST_F(DeveloperWriteTest, StationFormatAndRateGoLastAndTheLinkFollows) {
    struct Case {
        const char* file;
        std::vector<Sent> writes;  // the last writes on the line
        std::vector<std::string> opens;
        LinkState after;
    };
    const Case cases[] = {
        // Held back wherever they stand; the rate is the list position the editor saves.
        {"P497 3\r\nP498 4\r\nP10 1\r\nP496 5",
         {{false, 1, 6, 10, 1},
          {false, 1, 6, 496, 5},
          {false, 5, 6, 498, 4},
          {true, 5, 6, 497, 384}},
         {"9600,N,7,2", "9600,N,8,1"},
         {5, Framing::Rtu, false, 1, "38400,N,8,1"}},
        {"P497 1",
         {{false, 1, 6, 497, 96}},
         {"9600,N,7,2"},
         {1, Framing::Ascii, false, 1, "9600,N,7,2"}},
        {"P497 1152",
         {{false, 1, 6, 497, 1152}},
         {"9600,N,7,2"},
         {1, Framing::Ascii, false, 1, "115200,N,7,2"}},
        // The drive refuses station 255: the run keeps talking to it where it is.
        {"P496 255,P498 1",
         {{false, 1, 6, 496, 255}, {false, 1, 6, 498, 1}},
         {"9600,N,7,2", "9600,E,7,1"},
         {1, Framing::Ascii, false, 1, "9600,E,7,1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        linkAt("9600,N,7,2", 1);
        sent.clear();
        port->opens.clear();
        told.clear();
        run(c.file);
        auto writes = writesSent();
        ASSERT_GE(writes.size(), c.writes.size());
        writes.erase(writes.begin(), writes.end() - c.writes.size());
        EXPECT_EQ(writes, c.writes);
        EXPECT_EQ(port->opens, c.opens);
        EXPECT_EQ((std::tuple{link.station, link.framing, link.settings}),
                  (std::tuple{c.after.station, c.after.framing, c.after.settings}));
        EXPECT_EQ(drive.station(), link.station);
        EXPECT_EQ(drive.settings(), link.settings) << "the next window finds the drive";
        EXPECT_FALSE(session.isOpen());
    }
    EXPECT_EQ(told.back().text, "開發參數寫入完成：寫入 1 項，未確認 1 項\nP496");
}

TEST_F(DeveloperWriteTest, AResetEntryMovesTheRestToTheFactoryLink) {
    struct Case {
        const char* file;
        std::string settingsAfter;
        Framing framingAfter;
    };
    const Case cases[] = {
        {"P10 1\r\nP546 3\r\nP11 -2\r\nP12 5", "9600,N,7,2", Framing::Ascii},
        {"P498 4\r\nP10 1\r\nP546 3\r\nP11 -2\r\nP12 5", "9600,N,8,1", Framing::Rtu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        linkAt("19200,E,8,1", 7);
        sent.clear();
        const auto start = clock.now();
        run(c.file);
        auto writes = writesSent();
        const auto reset =
            std::find_if(writes.begin(), writes.end(), [](const Sent& s) { return s.reg == 546; });
        ASSERT_NE(reset, writes.end());
        EXPECT_EQ(*reset, (Sent{true, 7, 6, 546, 3}));
        EXPECT_EQ(*(reset + 1), (Sent{false, 1, 6, 11, 0xFFFE}));
        EXPECT_EQ(*(reset + 2), (Sent{false, 1, 6, 12, 5}));
        EXPECT_GE(clock.now() - start, std::chrono::seconds(2));
        EXPECT_EQ(link.settings, c.settingsAfter);
        EXPECT_EQ(link.framing, c.framingAfter);
        EXPECT_EQ(link.station, 1);
        EXPECT_EQ(drive.settings(), link.settings);
        EXPECT_EQ(told.back().text,
                  "開發參數寫入完成：寫入 " + std::to_string(writes.size()) + " 項，未確認 0 項");
    }
}

TEST_F(DeveloperWriteTest, EveryStopIsTold) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        DeveloperWriteEnd end;
        DeveloperMessage message;
        bool fileAsked;
    };
    const Case cases[] = {
        {"port in use",
         [this] { line.setHeldElsewhere(true); },
         DeveloperWriteEnd::PortNotOpened,
         {"通訊錯誤", "無法開啟通訊埠，請確認連接埠未被其他程式占用。"},
         false},
        {"no answer",
         [this] { drive.injectFault({DriveFault::Kind::NoReply}); },
         DeveloperWriteEnd::NoReply,
         {"通訊錯誤", "變頻機未回應，未寫入任何參數。"},
         false},
        {"running",
         [this] {
             session.open(1, link.settings);
             session.write(drive::kCommandRegister, drive::kRunForward);
             session.close();
             drive.clearWriteLog();
         },
         DeveloperWriteEnd::DriveRunning,
         {"變頻機運轉中", "目前變頻機為運轉狀態，請手動停止變頻機運轉，否則部分參數將無法寫入。"},
         false},
        {"adapter pulled after the first write",
         [this] { hooks.progress = [this](int, int) { line.setPresent(false); }; },
         DeveloperWriteEnd::LineFailed,
         {"通訊錯誤", "通訊埠已中斷，已寫入 1 項，其餘未寫入。"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        linkAt("9600,N,7,2", 1);
        c.arrange();
        fileAsked = false;
        told.clear();
        const auto result = run("P10 1,P11 2");
        EXPECT_EQ(result.end, c.end);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ((std::pair{told[0].title, told[0].text}),
                  (std::pair{c.message.title, c.message.text}));
        EXPECT_EQ(fileAsked, c.fileAsked);
        EXPECT_EQ(writeLog(drive).size(), c.fileAsked ? 1u : 0u);
        EXPECT_FALSE(session.isOpen());
        line.setHeldElsewhere(false);
        line.setPresent(true);
        hooks.progress = {};
        drive.clearFaults();
        drive.clearWriteLog();
        session.open(1, link.settings);
        session.write(drive::kCommandRegister, drive::kStop);
        session.close();
        drive.clearWriteLog();
    }
    // The technician cancels the file dialog: nothing more to tell.
    told.clear();
    hooks.chooseFile = [] { return std::nullopt; };
    EXPECT_EQ(run("P10 1").end, DeveloperWriteEnd::NoFile);
    EXPECT_TRUE(told.empty());
}

TEST_F(DeveloperWriteTest, UnconfirmedWritesAreListedInTheSummary) {
    std::vector<std::pair<int, int>> ticks;
    hooks.progress = [&](int done, int total) {
        ticks.emplace_back(done, total);
        if (done == 1)
            drive.injectFault({DriveFault::Kind::Exception}, 1);
        if (done == 2)
            drive.injectFault({DriveFault::Kind::NoReply}, 1);
    };
    const auto result = run("P10 1,P11 2,P12 3,P13 4");
    EXPECT_EQ(result.confirmed, 2);
    EXPECT_EQ(result.unconfirmed, (std::vector{11, 12}));
    EXPECT_EQ(told.back().text, "開發參數寫入完成：寫入 2 項，未確認 2 項\nP11\nP12");
    EXPECT_EQ(ticks, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
}

TEST(DeveloperPassword, OnlyTheExactTextOpensTheWrite) {
    for (const auto& [answer, opens] : std::vector<std::pair<std::string, bool>>{
             {"7093", true}, {"", false}, {"7093 ", false}, {"709", false}, {"70930", false}})
        EXPECT_EQ(developerPasswordMatches(answer), opens) << answer;
}

}  // namespace
}  // namespace velorin
