// The drive jobs on a simulated line: bulk write, fault history, survey, backup of several drives.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <map>
#include <set>

#include "drive/ConnectSession.h"
#include "drive/DeveloperWrite.h"
#include "drive/FaultHistoryRead.h"
#include "drive/LineBackup.h"
#include "link/LineSession.h"
#include "model/DriveFacts.h"
#include "model/FaultRegisters.h"
#include "sim/SimulatedPort.h"
#include "support/DriveWrites.h"
#include "support/LineTap.h"
#include "support/SessionOnDrive.h"
#include "ui/texts/WindowTexts.h"

namespace velorin {
namespace {

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

std::pair<int, std::vector<int>> summary(const DeveloperNotice& told) {
    EXPECT_EQ(told.kind, DeveloperNotice::Kind::Finished);
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
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"P10 1\r\nP11 2\r\nP12\r\nP13 4", "第 3 項「P12」：缺少編號與數值之間的空格。"},
        {"P10 1,PX 7", "第 2 項「PX 7」：編號不是數字。"},
        {"P10 1,P497 7", "第 2 項「P497 7」：傳輸速率須為 0 到 4，或 48、96、192、384、1152。"},
        {"P498 7,P10 1", "第 1 項「P498 7」：通訊格式須在 0 到 6 之間。"},
        {"P496 five", "第 1 項「P496 five」：數值不是數字。"},
        {tooMany, "檔案超過 563 項。"},
    };
    // clang-format on
    for (const auto& [file, told] : cases) {
        Bench b("9600,N,7,2", 1);
        EXPECT_EQ(b.run(file).end, DeveloperWriteEnd::BadFile);
        EXPECT_TRUE(b.writeLog().empty());
        ASSERT_EQ(b.told.size(), 1u);
        EXPECT_EQ(developerNoticeText(b.told[0]),
                  (MessageBoxText{"檔案錯誤", told + "未寫入任何參數。"}));
    }
}

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
    const std::string link = "通訊錯誤";
    // clang-format off
    // what went wrong, how the run ends and the box that tells it
    const std::tuple<const char*, std::function<void(Bench&)>, E, std::optional<MessageBoxText>> cases[] = {
        {"port in use", [](Bench& b) { b.line.setHeldElsewhere(true); }, E::PortNotOpened,
         MessageBoxText{link, "無法開啟通訊埠，請確認連接埠未被其他程式占用。"}},
        {"no answer", [](Bench& b) { b.drive.injectFault({DriveFault::Kind::NoReply}, 3); }, E::NoReply,
         MessageBoxText{link, "變頻機未回應，未寫入任何參數。"}},
        {"running", [](Bench& b) {
             b.session.open(1, b.link.settings);
             b.session.write(drive::kCommandRegister, drive::kRunForward);
             b.drive.clearWriteLog(); }, E::DriveRunning,
         MessageBoxText{"變頻機運轉中", "目前變頻機為運轉狀態，請手動停止變頻機運轉，否則部分參數將無法寫入。"}},
        {"adapter pulled after the first write",
         [](Bench& b) { b.hooks.progress = [&b](int, int) { b.line.setPresent(false); }; },
         E::LineFailed, MessageBoxText{link, "通訊埠已中斷，已寫入 1 項，其餘未寫入。"}},
        {"file dialog cancelled", [](Bench& b) { b.cancel = true; }, E::NoFile, std::nullopt}};
    // clang-format on
    for (const auto& [name, arrange, end, box] : cases) {
        SCOPED_TRACE(name);
        Bench b("9600,N,7,2", 1);
        arrange(b);
        EXPECT_EQ(b.run("P10 1,P11 2").end, end);
        ASSERT_EQ(b.told.size(), box ? 1u : 0u);
        if (box)
            EXPECT_EQ(developerNoticeText(b.told[0]), *box);
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
    EXPECT_EQ(developerNoticeText(b.told.back()),
              (MessageBoxText{"開發功能", "開發參數寫入完成：寫入 2 項，未確認 2 項\nP11\nP12"}));
    EXPECT_EQ(ticks, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
}

struct HistoryBench : test::SessionOnDrive {
    HistoryBench() {
        const RecordedFault faults[] = {{20, 1200}, {6, 1190}};
        drive.setFaultHistory(faults);
        drive.setReg(543, 1210);
        drive.setReg(413, static_cast<std::uint16_t>(-1500));
    }
};

TEST(FaultHistoryRead, SingleReadsOrBlocksGiveOneHistory) {
    for (const bool blocks : {false, true}) {
        HistoryBench b;
        b.session.setBlockReads(blocks);
        std::set<int> singles;
        int largest = 0;
        test::LineTap tap(b.session.observers(), [&](const TransactionRecord& t) {
            if (t.word == 1)
                singles.insert(t.reg);
            largest = std::max<int>(largest, t.word);
        });
        const FaultHistoryRead read = readFaultHistory(b.session);
        ASSERT_TRUE(read.history) << blocks;
        // The decoding is FaultHistory's; here the words come whole and signed (P12.13).
        EXPECT_EQ(std::pair(read.history->records.size(), read.values.at(413)),
                  std::pair(std::size_t{2}, -1500));
        // Blocks: P12.03-P12.31 in one; else each register alone but the six empty places' hours.
        if (blocks)
            EXPECT_GE(largest, 29);
        else
            EXPECT_EQ(singles.size(), 25u);
    }
}

TEST(FaultHistoryRead, AnUnansweredRegisterGivesNoHistoryAndClearingWritesLockResetEight) {
    HistoryBench b;
    b.drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 424}, LineSession::kTries);
    const FaultHistoryRead read = readFaultHistory(b.session);
    EXPECT_EQ(std::tuple(read.history.has_value(), read.failedRegister, read.failure.outcome),
              std::tuple(false, std::uint16_t{424}, LinkOutcome::NoReply));
    EXPECT_EQ(clearFaultHistory(b.session).outcome, LinkOutcome::Ok);
    EXPECT_EQ(test::writesOf(b.drive).back(), (std::pair{546, 8}));
    EXPECT_TRUE(readFaultHistory(b.session).history->records.empty());
}

// Drives at stations 2, 3 and 5, station 3 slower than the reply wait.
struct ThreeDrives {
    explicit ThreeDrives(const char* settings) : settings(settings) {
        const int stations[] = {2, 3, 5};
        for (int i = 0; i < 3; ++i) {
            drives[i].setLink(static_cast<std::uint8_t>(stations[i]), *rateIndexOf(settings),
                              *formatIndexOf(settings));
            drives[i].setReg(faultregs::kModel, static_cast<std::uint16_t>(30 + i));
            drives[i].setReg(faultregs::kRunHours, static_cast<std::uint16_t>(100 * (i + 1)));
            if (i > 0)
                line.addDrive(drives[i]);
        }
        // Station 3 answers later than the reply wait (100 ms): its first reply comes late.
        drives[1].setResponseDelay(Micros{160000});
    }
    ConnectSession connect(std::function<bool()> stop = {}) {
        ConnectHooks hooks;
        hooks.open = [this](const std::string& s) -> LineSession* {
            return session.open(1, s) == OpenResult::Ok ? &session : nullptr;
        };
        hooks.progress = [this](const ScanProgress& p) { progress.push_back(p); };
        hooks.stopRequested = std::move(stop);
        return ConnectSession(clock, hooks);
    }
    const char* settings;
    VirtualClock clock;
    SimulatedDrive drives[3];
    SimulatedLine line{drives[0]};
    LineSession session{std::make_unique<SimulatedPort>(line, clock)};
    std::vector<ScanProgress> progress;
};

TEST(Survey, FindsEveryDriveInOrderInBothFramings) {
    for (const char* settings : {"9600,N,7,2", "9600,N,8,2"}) {
        SCOPED_TRACE(settings);
        ThreeDrives t(settings);
        const SurveyResult r =
            t.connect().survey(settings, framingOfFormat(*formatIndexOf(settings)), 1, 20);
        // The line is left open at the first drive; the progress heard every station once.
        EXPECT_EQ(std::tuple(r.end, r.drives, t.session.isOpen(), t.session.station()),
                  std::tuple(ConnectResult::End::Found,
                             std::vector<SurveyedDrive>{{2, 30, 100}, {3, 31, 200}, {5, 32, 300}},
                             true, 2));
        ASSERT_EQ(t.progress.size(), 20u);
        EXPECT_EQ(t.progress.back().step.station, 20);
        EXPECT_LT(t.progress.back().left, t.progress.front().left);
        // No write of any kind went out, broadcasts least of all.
        for (const SimulatedDrive& d : t.drives) EXPECT_TRUE(d.writeLog().empty());
    }
}

TEST(Survey, AStopKeepsWhatWasFoundAndNothingMeansNotFound) {
    ThreeDrives t("9600,N,7,2");
    const SurveyResult stopped =
        t.connect([&] { return !t.progress.empty() && t.progress.back().step.station == 4; })
            .survey(t.settings, Framing::Ascii, 1, 20);
    EXPECT_EQ(std::tuple(stopped.end, stopped.drives),
              std::tuple(ConnectResult::End::Stopped,
                         std::vector<SurveyedDrive>{{2, 30, 100}, {3, 31, 200}}));

    ThreeDrives empty("9600,N,7,2");
    const SurveyResult none = empty.connect().survey("19200,N,7,2", Framing::Ascii, 1, 10);
    EXPECT_EQ(std::tuple(none.end, none.drives.size(), empty.session.isOpen()),
              std::tuple(ConnectResult::End::NotFound, 0u, false));
}

TEST(Survey, WithTheRateOpenTheSearchComesFirst) {
    ThreeDrives t("19200,N,8,2");
    const SurveyResult r = t.connect().surveyAll(std::nullopt, std::nullopt, 1, 10);
    ASSERT_TRUE(r.search && !r.drives.empty());
    EXPECT_EQ(std::tuple(r.link.settings, r.drives.size(), r.drives.front().station),
              std::tuple("19200,N,8,2", 3u, 2));
}

TEST(LineBackup, StationListsAndFileNames) {
    using List = std::vector<std::uint8_t>;
    for (const auto& [text, stations] : {std::pair{"1-3,5,9", List{1, 2, 3, 5, 9}},
                                         {"7", List{7}}, {"5,1-2,2", List{1, 2, 5}}})
        EXPECT_EQ(parseStationList(text), stations) << text;
    for (const char* bad : {"0", "0-3", "3-1", "1,,2", "", "255", "1-3,x", "-3", "1 ,2"})
        EXPECT_EQ(parseStationList(bad), std::nullopt) << bad;

    const struct {
        const char* name;
        std::optional<BackupFileName> parts;
    } names[] = {
        {"S01_M101_20261208.txt", BackupFileName{1, 101, "20261208"}},
        {"S123_M7_20261208.txt", BackupFileName{123, 7, "20261208"}},
        {"S05_M_20261208.txt", BackupFileName{5, std::nullopt, "20261208"}},
        // Not as backupFileName() writes them.
        {"S1_M101_20261208.txt", {}}, {"S001_M101_20261208.txt", {}}, {"S01_M101_2026128.txt", {}},
        {"S01_M101_20261208.txt.json", {}}, {"S00_M101_20261208.txt", {}}, {"Data.txt", {}},
    };
    for (const auto& n : names) {
        EXPECT_EQ(parseBackupFileName(n.name), n.parts) << n.name;
        if (n.parts)
            EXPECT_EQ(backupFileName(*n.parts), n.name);
    }

    QTemporaryDir dir;
    for (const char* f : {"S02_M101_20261207.txt", "S02_M102_20261208.txt", "S02_M101_20261201.txt",
                          "S12_M101_20261209.txt", "S02_M101_20261209.txt.json"})
        std::ofstream(dir.filePath(f).toStdString()) << "P0 0\r\n";
    const auto latest = latestBackupOf(dir.path().toStdString(), 2);
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->filename(), "S02_M102_20261208.txt");
    EXPECT_FALSE(latestBackupOf(dir.path().toStdString(), 3));
}

TEST(LineBackup, EachDriveIsToldItsOwnOutcome) {
    VirtualClock clock;
    SimulatedDrive drives[4];
    SimulatedLine line{drives[0]};
    for (int i = 0; i < 4; ++i) {
        drives[i].setLink(static_cast<std::uint8_t>(i + 1), 1, 0);
        drives[i].setReg(faultregs::kModel, static_cast<std::uint16_t>(100 + i));
        if (i > 0)
            line.addDrive(drives[i]);
    }
    drives[2].setFaultMode(DriveFault{DriveFault::Kind::NoReply});  // station 3 is silent
    LineSession session(std::make_unique<SimulatedPort>(line, clock));
    ASSERT_EQ(session.open(1, "9600,N,7,2"), OpenResult::Ok);
    session.setStation(9);

    std::map<std::string, std::string> written;
    bool stop = false;
    LineBackupHooks hooks;
    hooks.save = [&](const std::filesystem::path& path,
                     std::string_view bytes) -> std::optional<std::string> {
        if (path.filename().string().starts_with("S02_"))
            return "無法寫入檔案：" + path.string();
        written[path.filename().string()] = bytes;
        return std::nullopt;
    };
    std::vector<int> drivesDone;
    hooks.driveDone = [&](const DriveBackupOutcome& o) {
        drivesDone.push_back(o.station);
        stop = o.station == 3;  // the technician stops after the silent drive
    };
    hooks.stopRequested = [&] { return stop; };
    const std::uint8_t stations[] = {1, 2, 3, 4};
    const auto outcomes = LineBackup(session, hooks)
                              .run(stations, {0}, "/backups",
                                   {"20261208", "2026-12-08T08:00:00+08:00", "velorin test"});
    using K = DriveBackupOutcome::Kind;
    std::vector<std::tuple<K, std::optional<std::int32_t>, bool>> got;  // kind, model, a register unread
    for (const auto& o : outcomes) got.emplace_back(o.kind, o.model, o.unreadRegister >= 0);
    EXPECT_EQ(got, (decltype(got){{K::Saved, 100, false}, {K::NotWritten, 101, false},
                                  {K::Silent, std::nullopt, true}, {K::NotReached, std::nullopt, false}}));
    // Only station 1's file and sidecar were written; the session's station is as it was.
    EXPECT_EQ(std::tuple(outcomes[0].file, drivesDone, written.size(), session.station()),
              std::tuple("/backups/S01_M100_20261208.txt", std::vector<int>{1, 2, 3, 4}, 2u, 9));
    EXPECT_NE(written["S01_M100_20261208.txt.json"].find("\"model\": 100"), std::string::npos);
}

}  // namespace
}  // namespace velorin
