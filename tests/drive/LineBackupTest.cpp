// The core of backing up several drives: station lists as typed, the file names and the lookup
// of a station's latest file, and the run itself on a simulated line, where a drive whose file
// cannot be written, a silent drive and a stop are each told for their own drive only.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <map>

#include "drive/LineBackup.h"
#include "model/FaultRegisters.h"
#include "sim/SimulatedPort.h"

namespace velorin {
namespace {

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
    EXPECT_EQ(outcomes[0].file, "/backups/S01_M100_20261208.txt");
    EXPECT_EQ(drivesDone, (std::vector<int>{1, 2, 3, 4}));
    // Only station 1's file and sidecar were written; the session's station is as it was.
    ASSERT_EQ(written.size(), 2u);
    EXPECT_NE(written["S01_M100_20261208.txt.json"].find("\"model\": 100"), std::string::npos);
    EXPECT_EQ(session.station(), 9);
}

}  // namespace
}  // namespace velorin
