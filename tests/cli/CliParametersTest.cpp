// velorin-cli's parameter commands in-process: get, set, backup, restore, diff and catalogue, the
// files backup may write, and the drive's records (change log, fault history, sidecar, report).

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "CliSim.h"
#include "model/Catalogue.h"
#include "support/DriveWrites.h"
#include "support/LoggedChanges.h"
#include "support/SmallDisk.h"

#include <sys/stat.h>
#include <unistd.h>

namespace velorin {
namespace {

namespace fs = std::filesystem;
using namespace ::testing;
using namespace velorin::test;

QString link(const SimulatedDrive& drive, const char* port) {
    return QStringLiteral("-p %1 -s %2 --station %3 ")
        .arg(QLatin1String(port), QString::fromStdString(drive.settings()))
        .arg(drive.station());
}

// A drive of sound values (P17.03, its own hours, at 500) backed up whole into a.txt.
class BackedUp : public ::testing::Test {
protected:
    void SetUp() override {
        soundValues(env.drive);
        env.drive.setReg(541, 500);
        ASSERT_EQ(cli(env, "-p COM3 backup " + file).code, 0);
    }
    QString named(const char* name, const std::string& bytes) {
        EXPECT_TRUE(writeFile(dir.filePath(name), bytes));
        return dir.filePath(name);
    }
    // A copy of the backup named `name` with `from` replaced by `to`.
    QString variant(const char* name, const char* from, const char* to) {
        return named(name, QByteArray::fromStdString(fileBytes(file)).replace(from, to).toStdString());
    }
    SimEnvironment env;
    QTemporaryDir dir;
    const QString file = dir.filePath("a.txt");
};

// A whole set carried to a drive of other values, station and format (ASCII to RTU): the drives
// then hold the same registers, and diff finds nothing between the file and a backup of each.
TEST(CliParameters, BackupThenRestoreMakesTheSecondDriveEqual) {
    SimEnvironment env;
    QTemporaryDir dir;
    const QString file = dir.filePath("a.txt"), second = dir.filePath("b.txt");
    env.drive2.setLink(4, 2, 5);  // 19200,E,8,1 RTU
    soundValues(env.drive);
    soundValues(env.drive2, 9);
    for (auto [reg, value] : {std::pair{0, 3}, {31, 1234}, {96, 1}, {97, 555}, {230, 77}})
        env.drive.setReg(reg, value);
    for (auto [reg, value] : {std::pair{0, 1}, {31, 777}, {229, 1}, {440, 42}})
        env.drive2.setReg(reg, value);

    auto r = cli(env, "-p COM3 backup " + file);
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, "")) << r.err;
    EXPECT_THAT(r.err, HasSubstr("510 parameters of 29 pages saved in"));

    // A dry run only reads, and tells where the drive would answer afterwards.
    const QString toSecond = link(env.drive2, "COM4");
    r = cli(env, toSecond + "restore --dry-run " + file);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("P15.02\t通訊資料格式\t498\t0\n"));
    EXPECT_THAT(r.err, AllOf(HasSubstr("range check passed"), HasSubstr("writes would be sent"),
                             HasSubstr("the drive would answer at --settings 9600,N,7,2 "
                                       "--station 1 afterwards")));
    EXPECT_THAT(env.log2.functions, Each(FunctionCode::ReadRegisters));
    EXPECT_THAT(env.drive2.writeLog(), IsEmpty());

    r = cli(env, toSecond + "restore " + file);
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, "")) << r.err;
    // One line sums it up: writes sent and confirmed, link and lock values already right.
    const std::string written = std::to_string(env.drive2.writeLog().size());
    EXPECT_THAT(
        r.err, HasSubstr("restore done: " + written + " writes sent, " + written + " confirmed, "));
    for (int reg = 0; reg < kRegisterCount; ++reg)
        EXPECT_EQ(env.drive2.reg(reg), env.drive.reg(reg)) << "register " << reg;
    EXPECT_EQ(std::tuple(env.drive2.settings(), env.drive2.station()), std::tuple("9600,N,7,2", 1));

    EXPECT_EQ(cli(env, link(env.drive2, "COM4") + "backup " + second).code, 0);
    r = cli(env, "diff " + file + " --against " + second);
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, "")) << r.err;

    // Three parameters changed since: --changed-only sends just those.
    Writes expected;
    for (auto [reg, value] : {std::pair{0, 4}, {31, 99}, {230, 7}}) {
        expected.emplace_back(reg, env.drive2.reg(reg));
        env.drive2.setReg(reg, static_cast<std::uint16_t>(value));
    }
    env.drive2.clearWriteLog();
    r = cli(env, link(env.drive2, "COM4") + "restore --changed-only " + file);
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, "")) << r.err;
    EXPECT_EQ(writesOf(env.drive2), expected);
    EXPECT_THAT(r.err, HasSubstr("restore done: 3 writes sent, 3 confirmed, "));
}

// After three sets diff --factory lists those and the simulated drive's own rated current (its
// json is an example of docs/cli.md, run as CliDocsExamples); catalogue needs no port.
TEST(CliParameters, WhatDiffAndCatalogueShowAfterThreeSets) {
    SimEnvironment env;
    for (const char* set : {"set P01.06 12.34", "set P00.00 2", "set P03.01 5 P03.02 10.00"})
        EXPECT_EQ(cli(env, QStringLiteral("-p COM3 ") + set).code, 0) << set;
    // clang-format off
    const std::tuple<const char*, int, std::string> cases[] = {  // command, exit status, stdout
        {"-p COM3 diff --factory", 6,
         "P00.00\t開機顯示畫面選擇\t2：顯示實際運轉頻率(H)\t0：顯示設定頻率(F)\n"
         "P01.06\t起動轉速\t12.34\t0.00\n"
         "P03.01\t加速時間1\t5.00\t10.00\n"
         "P11.14\t變頻器額定電流顯示\t100.0\t3.0\n"},
        {"catalogue P03.01 P15.01", 0,
         "P03.01\t97\t加速時間1\tnumber\t0.00 while P03.00 is 0, else 0.0\t"
         "0.00~600.00 (0.0~6000.0 while P03.00 is not 0)\t10.00\t\n"
         "P15.01\t497\tPC傳輸速率\tnumber-list\tposition (rate code 48, 96, 192, 384, "
         "1152)\t\t1：9.6\t0：4.8 | 1：9.6 | 2：19.2 | 3：38.4 | 4：115.2\n"},
    };
    // clang-format on
    for (const auto& [command, code, out] : cases) {
        const auto r = cli(env, command);
        EXPECT_EQ(std::tie(r.code, r.out), std::tie(code, out)) << command;
    }

    const int opens = env.line.opens();
    const auto r = cli(env, "catalogue --format json");
    EXPECT_EQ(env.line.opens(), opens);
    const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    EXPECT_EQ(all.size(), 501);  // every field
    EXPECT_THAT(all[0].toObject().keys(),
                ElementsAre("access", "checks", "code", "display", "factory", "kind", "label",
                            "options", "page", "register"));
}

// get shows what the editor's fields show; set writes only what passed the editor's checks and
// could be seen (the rules themselves are the editor core's tests): exit 5 for a refusal.
TEST(CliParameters, GetShowsAndSetWritesOnlyWhatTheFieldsShow) {
    struct Case {
        std::vector<std::pair<int, int>> drive;
        int lostAtOpening;  // replies lost to the read of P13.35 when the editor opens
        const char *args, *out, *err;  // stdout whole; what stderr holds
        int code, reg, value;  // exit status; a register and what it then holds (-1: none)
    };
    const std::vector<std::pair<int, int>> tenths = {{96, 1}};
    // clang-format off
    const Case cases[] = {
        // The times of P03 at the decimals P03.00 gives them; --raw: the register as it is.
        {tenths, 0, "get P03.01", "P03.01\t加速時間1\t100.0\n", "", 0, 97, 1000},
        {tenths, 0, "--raw get P03.01", "P03.01\t加速時間1\t1000\n", "", 0, 97, 1000},
        {tenths, 0, "set P03.01 12.3", "P03.01\t加速時間1\t12.3\n", "", 0, 97, 123},
        // The unit changes in the same command: the time is taken at the new one.
        {{}, 0, "set P03.00 1 P03.01 12.3",
         "P03.00\t加減速時間單位\t1：0.1 sec\nP03.01\t加速時間1\t12.3\n"
         "P03.02 減速時間1 10.00 -> 10.0\nP03.03 加速時間2 10.00 -> 10.0\n"
         "P03.04 減速時間2 10.00 -> 10.0\nP03.05 加速時間3 10.00 -> 10.0\n"
         "P03.06 減速時間3 10.00 -> 10.0\nP03.07 加速時間4(參數檢測) 10.00 -> 10.0\n"
         "P03.08 減速時間4(參數檢測) 10.00 -> 10.0\nP03.09 寸動加減速時間 10.00 -> 10.0\n"
         "P03.10 非常停止減速時間 2.00 -> 2.0\n", "", 0, 97, 123},
        {{}, 0, "set P15.01 2", "P15.01\tPC傳輸速率\t2：19.2\n", "answers at --settings 19200,N,7,2",
         0, 497, 192},
        {{}, 0, "set P00.00 7", "", "\"7\" is no option of its list (0-6)", 5, 0, 0},
        // Texts the lenient rule once read as 1 and 0 (P09.17 is a whole number).
        {{}, 0, "set P09.17 1,5", "", "\"1,5\" is no value its field takes (a whole number, 0~65535)",
         5, 263, 1710},
        {{}, 0, "set P09.17 abc", "", "\"abc\" is no value its field takes (a whole number, 0~65535)",
         5, 263, 1710},
        // A bound from P13.34 above 32767 (it once became -25536 and refused every set point).
        {{{470, 40000}}, 0, "set P13.04 0", "P13.04\tPID 設定值\t0.00\n", "", 0, 440, 0},
        {{}, 0, "set P17.00 1", "", "P17.00 上次停機定位點位置(方向): the drive shows it", 5, 538, 0},
        {{{96, 5}, {97, 1000}, {98, 1000}}, 0, "set P03.01 1.0", "",
         "P03.01 加速時間1: P03.00 holds 5", 5, -1, 0},
        {{{229, 3}, {230, 150}}, 0, "set P08.05 7", "", "P08.03 holds 3", 5, -1, 0},
        {{{96, 1}, {97, 60000}}, 0, "set P03.00 0", "", "P03.01 範圍不在0.00~600.00。", 5, -1, 0},
        {{{471, 2}}, 3, "set P13.04 12.34", "", "P13.35 參數讀取失敗", 1, -1, 0},
        {{{471, 2}}, 2, "set P13.04 12.34", "P13.04\tPID 設定值\t12.34\n", "", 0, 440, 1234},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        SimEnvironment env;
        for (auto [reg, value] : c.drive) env.drive.setReg(reg, static_cast<std::uint16_t>(value));
        if (c.lostAtOpening)
            env.drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 471},
                                  c.lostAtOpening);
        const auto r = cli(env, QStringLiteral("-p COM3 ") + c.args);
        EXPECT_EQ(std::tie(r.code, r.out), std::tuple(c.code, c.out)) << r.err;
        EXPECT_THAT(r.err, HasSubstr(c.err));
        if (c.reg >= 0)
            EXPECT_EQ(env.drive.reg(c.reg), c.value);
        if (c.code != 0)
            EXPECT_THAT(env.drive.writeLog(), IsEmpty());
        EXPECT_FALSE(env.line.isHeld());
    }
}

TEST_F(BackedUp, RestoreRefusesBeforeWritingAndKeepsTheDrivesOwnValues) {
    const QString wide = variant("wide.txt", "\nP462 10000\r", "\nP462 655350\r");
    const QString wider = variant("wider.txt", "\nP462 10000\r", "\nP462 -1\r");
    const std::tuple<QString, const char*, const char*> refused[] = {
        {wide, "", "P462 的數值「655350」超出範圍（-32768 到 65535）。"},
        {wide, "--lenient ", "頁面 P13-2 缺少 P462 的數值。"},
        {wider, "--dry-run ", "P13.26 範圍不在0.00~655.35。"},
        {variant("seven.txt", "P0 0\r", "P0 7\r"), "", "P00.00 開機顯示畫面選擇: the file's value 7"}};
    for (const auto& [path, option, message] : refused) {
        SCOPED_TRACE(path.toStdString() + " " + option);
        const auto r = cli(env, QStringLiteral("-p COM3 restore ") + option + path);
        EXPECT_EQ(std::tie(r.code, r.out), std::tuple(5, "")) << r.err;
        EXPECT_THAT(r.err, AllOf(HasSubstr(message), Not(HasSubstr("P13.35"))));
        EXPECT_THAT(env.drive.writeLog(), IsEmpty());
    }
    soundValues(env.drive2);
    env.drive2.setReg(382, 999);
    env.drive2.setReg(541, 7);
    const auto r = cli(env, link(env.drive2, "COM4") + "restore " + file);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::tuple(env.drive2.reg(541), env.drive2.reg(382)), std::tuple(7, 999));
    for (const WriteRecord& w : env.drive2.writeLog())
        EXPECT_TRUE(w.reg != 382 && (w.reg < 538 || w.reg > 544)) << w.reg;
}

// No page, or an unreadable line unless --lenient: refused, and before the port is opened (the
// words for each line are Words.EveryUnreadLineOfAParameterFileIsToldWithItsNumber's).
TEST_F(BackedUp, FilesWithoutPagesOrWithUnreadLinesAreRefused) {
    const std::string whole = fileBytes(file);
    const QString empty = named("empty.txt", "");
    const QString code = named("code.txt", whole + "P01.24 5\r\n");
    const QString page0 = named("page0.txt", whole.substr(0, whole.find("P25 ")));
    // clang-format off
    const struct { QString args; int code; const char* told; bool writes; } rows[] = {
        {"restore " + empty, 5, "檔案中沒有任何參數頁", false},
        {"diff " + code, 5, "：P01.24 是參數代碼，不是參數編號（例如 P31）。", false},
        {"restore " + code, 5, "1 lines cannot be read; nothing was done (--lenient", false},
        {"restore --lenient " + code, 0, "1 lines left out (--lenient)", true},
        {"restore " + page0, 0, "lacks pages P01-1 P01-2 ", true},
        {"diff " + page0, 0, "lacks pages P01-1 P01-2 ", false},
    };
    // clang-format on
    for (const auto& row : rows) {
        env.drive.clearWriteLog();
        env.log = {};
        const auto r = cli(env, "-p COM3 " + row.args);
        EXPECT_EQ(r.code, row.code) << row.args.toStdString() << r.err;
        EXPECT_THAT(r.err, HasSubstr(row.told)) << row.args.toStdString();
        EXPECT_EQ(!env.drive.writeLog().empty(), row.writes) << row.args.toStdString();
        EXPECT_EQ(env.log.sent.empty(), row.code == 5) << row.args.toStdString();
    }
    EXPECT_EQ(env.drive.reg(49), 0) << "P01.24 is register 49, untouched by a code-form line";
}

// A reset needs --allow-reset; ErP warnings are told and written unless --strict; while the motor
// runs nothing is written without --force-running. In order, on one drive.
TEST(CliParameters, AResetErPWarningsAndARunningMotorHoldBackWritesUnlessAllowed) {
    SimEnvironment env;
    // arguments, exit status, stdout, what stderr holds; P05.04 afterwards (-1: nothing written)
    const std::tuple<const char*, int, const char*, const char*, int> steps[] = {
        {"set P17.08 2", 5, "", "P17.08 參數鎖定/重置設定 = 2 resets every parameter", -1},
        {"--strict set P05.03 1 P05.04 1", 5, "",
         "velorin-cli: warning: the drive may answer with ErP1: P05.03、P05.04 同為 1：運轉許可\n", -1},
        {"set P05.03 1 P05.04 1", 0, "P05.03", "ErP1", 1},
        {"--allow-reset set P17.08 2", 0, "P17.08", "", 0},  // at its factory values again
        {"write 0x2000 18", 0, "0x2000", "", 0},
        {"set P01.06 1", 5, "", "the motor runs", -1},
        {"--force-running set P01.06 1", 0, "P01.06\t起動轉速\t1.00\n", "", 0},
    };
    for (const auto& [args, code, out, err, p0504] : steps) {
        SCOPED_TRACE(args);
        env.drive.clearWriteLog();
        const auto r = cli(env, QStringLiteral("-p COM3 ") + args);
        EXPECT_EQ(r.code, code) << r.err;
        EXPECT_THAT(r.out, StartsWith(out));
        EXPECT_THAT(r.err, HasSubstr(err));
        EXPECT_EQ(env.drive.writeLog().empty(), p0504 < 0);
        if (p0504 >= 0)
            EXPECT_EQ(env.drive.reg(150), p0504);
    }
}

// A restore cut short by Ctrl+C, a silent drive (three unanswered writes) or a pulled adapter.
TEST(CliParameters, ARestoreCutShortTellsTheWritesConfirmed) {
    enum Event { CtrlC, Silent, Unplug };
    // event, at which write, exit status, messages, writes sent, writes the drive carried out
    const std::tuple<Event, int, int, const char*, const char*, int, std::size_t> cases[] = {
        {CtrlC, 21, 130, "the write stopped at Ctrl+C: 21 writes confirmed", "", 21, 21},
        {Silent, 11, 4, "變頻機未回應，寫入已停止：已確認寫入 10 項，其餘參數未寫入。",
         "P00.12 啟動時停留速度：變頻機未回應", 13, 13},
        {Unplug, 8, 3, "port lost", "the write stopped: 7 writes confirmed, the rest not", 8, 7}};
    for (const auto& [event, at, code, message, more, sent, carried] : cases) {
        SCOPED_TRACE(message);
        SimEnvironment env;
        QTemporaryDir dir;
        const QString file = dir.filePath("a.txt");
        soundValues(env.drive);
        ASSERT_EQ(cli(env, "-p COM3 backup " + file).code, 0);
        int writes = 0;
        env.log.onSend = [&, event = event, at = at](SerialPort&, int, FunctionCode function) {
            if (function != FunctionCode::WriteRegister || ++writes != at)
                return;
            if (event == CtrlC)
                env.stop = true;
            else if (event == Silent)
                env.drive.setFaultMode(DriveFault{DriveFault::Kind::NoReply});
            else
                env.line.setPresent(false);
        };
        env.drive.clearWriteLog();
        const auto r = cli(env, "-p COM3 restore " + file);
        EXPECT_EQ(std::tie(r.code, r.out), std::tuple(code, ""));
        EXPECT_THAT(r.err, AllOf(HasSubstr(message), HasSubstr(more),
                                 Not(HasSubstr(event == Silent ? "Ctrl+C" : "變頻機未回應"))));
        EXPECT_EQ(std::tuple(writes, env.drive.writeLog().size()), std::tuple(sent, carried));
        EXPECT_FALSE(env.line.isHeld());
    }
}

// Backups with every fault kind at 1 % and 5 % of the requests succeed 9 times in 10 with every
// value right; one that fails leaves the old file as it was.
std::vector<DriveFault> everyFault() {
    using K = DriveFault::Kind;
    std::vector<DriveFault> faults;
    for (const K kind : {K::NoReply, K::CorruptChecksum, K::Truncated, K::Split, K::Exception,
                         K::OtherStation, K::Noise, K::Slow, K::Duplicate, K::BlockShift})
        faults.push_back(
            {.kind = kind, .delay = std::chrono::milliseconds(kind == K::Slow ? 300 : 20)});
    return faults;
}

TEST(CliFaultRate, BackupsFinishWithEveryValueRightOrKeepTheOldFile) {
    const std::string oldFile = "P0 1\r\n";
    SimEnvironment clean;  // every value right: the file of a clean line
    const QString cleanFile = clean.logFolder.filePath("clean.txt");
    ASSERT_EQ(cli(clean, "-p COM3 backup " + cleanFile).code, 0);
    const std::string right = fileBytes(cleanFile);
    ASSERT_GT(std::ranges::count(right, '\n'), 500);
    for (const int percent : {1, 5}) {
        int succeeded = 0;
        for (std::uint32_t seed = 1; seed <= 10; ++seed) {
            SimEnvironment env;
            env.drive.setFaultMix(everyFault(), percent, seed);
            const QString path = env.logFolder.filePath("backup.txt");
            ASSERT_TRUE(writeFile(path, oldFile));
            const int code = cli(env, "-p COM3 backup " + path).code;
            succeeded += code == 0;
            EXPECT_EQ(fileBytes(path), code == 0 ? right : oldFile)
                << percent << " %, seed " << seed;
        }
        std::cout << percent << " % faults: " << succeeded << " backups of 10 succeeded\n";
        EXPECT_GE(succeeded, 9) << percent << " % of the requests meet a fault";
    }
}

// Where backup may write and what restore and diff may read: regular files only, a replaced file
// keeping mode, owner and names, no planted link followed. Rows needing root are skipped, told.
const std::string kOld = "P0 1\r\n";

struct stat statOf(const fs::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
}

std::string bytesOf(const fs::path& path) {
    return fileBytes(QString::fromStdString(path.string()));
}

TEST(CliFileTargets, BackupWritesRegularFilesOnlyAndKeepsWhatItReplaces) {
    SimEnvironment env;
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    const bool root = ::geteuid() == 0;
    SmallDisk disk;
    std::vector<std::string> skipped;
    // clang-format off
    const struct Row {
        const char* what;
        bool needsRoot;
        // Makes the target; returns its path.
        std::function<fs::path()> make;
        int code;
        const char* told;
        // What must hold afterwards besides a refused target being as it was.
        std::function<void(const fs::path&)> check;
    } rows[] = {
        {"a new file", false, [&] { return folder / "new.txt"; }, 0, "",
         [](const fs::path& p) { EXPECT_EQ(statOf(p).st_mode & 0777, 0600u); }},
        {"a file of mode 0640", false, [&] {
             std::ofstream(folder / "0640.txt") << kOld;
             fs::permissions(folder / "0640.txt", fs::perms(0640));
             return folder / "0640.txt"; }, 0, "",
         [](const fs::path& p) { EXPECT_EQ(statOf(p).st_mode & 0777, 0640u); }},
        {"another user's file", true, [&] {
             std::ofstream(folder / "theirs.txt") << kOld;
             EXPECT_EQ(::chown((folder / "theirs.txt").c_str(), 1234, 1234), 0);
             return folder / "theirs.txt"; }, 0, "",
         [](const fs::path& p) { EXPECT_EQ(statOf(p).st_uid, 1234u); EXPECT_EQ(statOf(p).st_gid, 1234u); }},
        {"a file with a second name", false, [&] {
             std::ofstream(folder / "linked.txt") << kOld;
             fs::create_hard_link(folder / "linked.txt", folder / "second-name.txt");
             return folder / "linked.txt"; }, 0, "",
         [&](const fs::path& p) {
             EXPECT_EQ(statOf(p).st_nlink, 2u);
             EXPECT_EQ(bytesOf(folder / "second-name.txt"), bytesOf(p)); }},
        {"a FIFO", false, [&] {
             EXPECT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
             return folder / "fifo"; }, 5, "這是具名管道（FIFO），不是一般檔案。", {}},
        {"a folder", false, [&] { fs::create_directory(folder / "Sub.txt"); return folder / "Sub.txt"; },
         5, "Is a directory", {}},
        {"a link planted in a sticky folder others write to", false, [&] {
             fs::create_directory(folder / "shared");
             fs::permissions(folder / "shared", fs::perms(01777));
             std::ofstream(folder / "victim.txt") << kOld;
             fs::create_symlink(folder / "victim.txt", folder / "shared" / "Data.txt");
             return folder / "shared" / "Data.txt"; }, 5, "符號連結",
         [&](const fs::path&) { EXPECT_EQ(bytesOf(folder / "victim.txt"), kOld); }},
        {"a link in the technician's own folder", false, [&] {
             std::ofstream(folder / "real.txt") << kOld;
             fs::create_symlink(folder / "real.txt", folder / "alias.txt");
             return folder / "alias.txt"; }, 0, "",
         [&](const fs::path& p) {
             EXPECT_TRUE(fs::is_symlink(p));
             EXPECT_NE(bytesOf(folder / "real.txt"), kOld); }},
        {"a name of 254 characters", false, [&] { return folder / (std::string(250, 'n') + ".txt"); },
         0, "", [](const fs::path& p) { EXPECT_TRUE(fs::is_regular_file(p)); }},
        {"a read-only folder", true, [&] {
             fs::create_directory(folder / "locked");
             std::ofstream(folder / "locked" / "Data.txt") << kOld;
             EXPECT_EQ(std::system(("chattr +i '" + (folder / "locked").string() + "'").c_str()), 0);
             return folder / "locked" / "Data.txt"; }, 5, "無法寫入檔案",
         [&](const fs::path&) {
             std::system(("chattr -i '" + (folder / "locked").string() + "'").c_str()); }},
        {"a full disk", true, [&] {
             std::ofstream(disk.path() + "/Data.txt") << kOld;
             disk.fill();
             return fs::path(disk.path()) / "Data.txt"; }, 5, "No space left on device",
         [&](const fs::path& p) {
             EXPECT_EQ(std::distance(fs::directory_iterator(p.parent_path()), {}), 2)
                 << "only the old file and the filler";
             disk.free(); }},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.needsRoot &&
            (!root || (std::string(row.what) == "a full disk" && !disk.mounted()))) {
            skipped.push_back(row.what);
            continue;
        }
        const fs::path target = row.make();
        const struct stat before = statOf(target);
        const auto r = cli(env, QStringLiteral("-p COM3 backup --pages P00 ") +
                                    QString::fromStdString(target.string()));
        EXPECT_EQ(r.code, row.code) << r.err;
        EXPECT_THAT(r.err, HasSubstr(row.told));
        if (row.code == 0)
            EXPECT_THAT(bytesOf(target), StartsWith("P0 0\r\nP1 "));
        else if (!fs::is_regular_file(target))
            EXPECT_EQ(env.log.sent.size(), 0u) << "refused before the drive is read";
        if (row.code != 0) {  // the target as it was: its kind, and a file's bytes
            EXPECT_EQ(statOf(target).st_mode & S_IFMT, before.st_mode & S_IFMT);
            if (S_ISREG(before.st_mode))
                EXPECT_EQ(bytesOf(target), kOld);
        }
        if (row.check)
            row.check(target);
        env.log = {};
        // Nothing read from what is no regular file either, and nothing waits on a FIFO.
        if (row.code == 5 && !fs::is_regular_file(target) && !fs::is_symlink(target))
            for (const char* command : {"-p COM3 restore --dry-run ", "diff --factory "})
                EXPECT_EQ(cli(env, command + QString::fromStdString(target.string())).code, 5);
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        EXPECT_THAT(entry.path().filename().string(), Not(StartsWith(".velorin-")));
    if (!skipped.empty())
        GTEST_SKIP() << "needs root, skipped: " << ::testing::PrintToString(skipped);
}

TEST(CliChangeLog, EveryWriteLeavesOneLinePerRegister) {
    // clang-format off
    const struct { const char* command; bool replyLost; const char* logged; } rows[] = {
        {"-p COM3 set P01.06 12.34", false, "P01.06 0>1234 0.00>12.34 已確認 "},
        {"-p COM3 write 31 1234", false, "P01.06 0>1234 0.00>12.34 已確認 "},
        {"-p COM3 set P01.06 12.34", true, "P01.06 0>1234 0.00>12.34 未確認 "},
    };
    // clang-format on
    for (const auto& row : rows) {
        SimEnvironment env;
        // The write carried out, its reply and the reads back of it lost.
        env.log.onSend = [&env, lost = row.replyLost](SerialPort&, int, FunctionCode function) {
            if (lost && function == FunctionCode::WriteRegister)
                env.drive.injectFault({DriveFault::Kind::NoReply}, 4);
        };
        cli(env, row.command);
        EXPECT_EQ(shortChanges(env.changeLogPath()),
                  std::vector<std::string>{row.logged + std::string("velorin-cli ") + row.command});
        const ChangeEntry first = loggedChanges(env.changeLogPath()).front();
        EXPECT_EQ(std::tie(first.port, first.settings, first.station),
                  std::tuple("COM3 (/dev/ttyUSB0)", "9600,N,7,2 ASCII", 1));
    }
}

// A log that cannot be written is told once with the reason; the write goes on, exit 7.
TEST(CliChangeLog, NothingIsLoggedWithNoLogAndALogThatCannotBeWrittenIsToldOnce) {
    SimEnvironment env;
    for (const char* command : {"-p COM3 write --no-log 31 5", "-p COM3 set --no-log P01.06 1"})
        EXPECT_EQ(cli(env, command).code, 0) << command;
    EXPECT_EQ(env.drive.writeLog().size(), 2u);
    EXPECT_FALSE(QFile::exists(env.changeLogPath()));
    ASSERT_TRUE(QDir().mkpath(env.changeLogPath()));
    const auto r = cli(env, "-p COM3 set P01.06 12.34 P00.00 2");
    EXPECT_EQ(r.code, 7) << r.err;
    EXPECT_THAT(r.out, HasSubstr("P01.06\t起動轉速\t12.34\n"));
    EXPECT_EQ(env.drive.writeLog().size(), 4u);
    EXPECT_EQ(QString::fromStdString(r.err).count("the change log cannot be written"), 1) << r.err;
    EXPECT_THAT(
        r.err, AllOf(HasSubstr("Is a directory"), HasSubstr("2 writes are not in the change log")));
}

TEST(CliChangeLog, LogPrintsTheLinesSinceADateForAStation) {
    SimEnvironment env;
    const LinkState link{3, Framing::Rtu, false, 3, "19200,E,8,1"};
    std::vector<std::string> lines;
    std::string text;
    for (auto [time, station] : {std::pair{"2026-11-30T23:59:59+08:00", 3},
                                 {"2026-12-01T08:00:00+08:00", 3},
                                 {"2026-12-01T09:00:00+08:00", 4}}) {
        ChangeEntry entry = wordChange({"COM3", &link, "寫入變頻機"}, 31, 1234, true);
        entry.time = time;
        entry.station = station;
        lines.push_back(changeLogLine(entry));
        text += lines.back();
    }
    text += "a line that is not one\n";
    ASSERT_TRUE(writeFile(env.changeLogPath(), text));
    // clang-format off
    const struct { const char* options; std::string out; } rows[] = {
        {"", lines[0] + lines[1] + lines[2]},
        {"--since 2026-12-01 --station 3", lines[1]},
        {"--since 2026-12-01T08:30", lines[2]},
    };
    // clang-format on
    for (const auto& row : rows) {
        const auto r = cli(env, QStringLiteral("log ") + row.options);
        EXPECT_EQ(std::tuple(r.code, r.out), std::tuple(0, row.out)) << row.options;
        EXPECT_THAT(r.err, HasSubstr("1 lines of")) << row.options;
    }
}

TEST(CliFaults, TheDrivesHistoryAsCsvAndText) {
    SimEnvironment env;
    const RecordedFault faults[] = {{20, 1200}, {6, 1190}};
    env.drive.setFaultHistory(faults);
    env.drive.setReg(543, 1210);
    env.drive.setReg(421, 0b101);
    auto r = cli(env, "-p COM3 faults --format csv");
    EXPECT_EQ(std::tie(r.code, r.out),
              std::tuple(0,
                         "slot,number,code,text,hours,seconds_ago\n"
                         "0,20,ErP1,20：參數設定錯誤1(ErP1)：P05.03~P05.12(DI重復設定),1200,36000\n"
                         "1,6,oL,6：過負載(oL),1190,72000\n"))
        << r.err;
    r = cli(env, "-p COM3 faults");
    EXPECT_THAT(r.out,
                StartsWith("最新\t20：參數設定錯誤1(ErP1)：P05.03~P05.12(DI重復設定)\t1200 "
                           "小時\t10.0 小時前\n前1次\t6：過負載(oL)\t1190 小時\t20.0 小時前\n"
                           "累計運轉時間\t1210 小時 0 分\n"));
    EXPECT_THAT(r.out, HasSubstr("P12.21 故障發生時的輸入端子狀態\tM0 M2\n"));
}

// Restore names the drive the file came from and refuses an edited file or another model's unless
// told to go on (the verdicts are BackupSidecar's, a file without a sidecar among them).
TEST(CliSidecar, BackupWritesItRestoreHeedsIt) {
    SimEnvironment env;
    env.drive.setReg(549, 101);   // P17.11
    env.drive.setReg(543, 1210);  // P17.05
    QTemporaryDir dir;
    const QString file = dir.filePath("Data.txt");
    const QString pages = " --pages P00,P17-1 ";
    ASSERT_EQ(cli(env, "-p COM3 backup" + pages + file).code, 0);

    // In order on the one file: the drive's model changes, then a line is added by hand.
    const struct {
        int model;  // the drive's P17.11 at the restore
        const char* options;
        int code;
        const char* message;
    } steps[] = {
        {101, "", 0, "來自機種 101 的變頻機（站號 1，9600,N,7,2）"},
        {102, "", 5, "這台變頻機是機種 102。 Nothing was written"},
        {102, "--force-model ", 0, "(written anyway)"},
        {101, "", 5, "SHA-256 不符"},
        {101, "--force ", 0, "(written anyway)"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.message);
        if (&step == &steps[3])
            ASSERT_TRUE(writeFile(file, "P23 0\r\n", true));
        env.drive.setReg(549, static_cast<std::uint16_t>(step.model));
        env.drive.clearWriteLog();
        const auto r = cli(env, QStringLiteral("-p COM3 restore ") + step.options + file);
        EXPECT_EQ(r.code, step.code) << r.err;
        EXPECT_THAT(r.err, HasSubstr(step.message));
        EXPECT_EQ(env.drive.writeLog().empty(), step.code != 0);
    }
}

// What the report must hold: every differing code and both its values, every fault's text.
std::vector<std::string> expectedPieces(SimEnvironment& env) {
    std::vector<std::string> pieces;
    const auto diff = QJsonDocument::fromJson(
        QByteArray::fromStdString(cli(env, "-p COM3 diff --factory --format json").out));
    for (const QJsonValue& row : diff.array()) {
        pieces.push_back(row[QStringLiteral("code")].toString().toStdString());
        for (const QJsonValue& shown : row[QStringLiteral("display")].toArray())
            pieces.push_back(shown.toString().toStdString());
    }
    const auto faults = QJsonDocument::fromJson(
        QByteArray::fromStdString(cli(env, "-p COM3 faults --format json").out));
    for (const QJsonValue& f : faults[QStringLiteral("faults")].toArray())
        pieces.push_back(f[QStringLiteral("text")].toString().toStdString());
    return pieces;
}

TEST(CliReport, HoldsWhatDiffAndFaultsSay) {
    SimEnvironment env;
    const RecordedFault faults[] = {{20, 1200}, {6, 1190}};
    env.drive.setFaultHistory(faults);
    env.drive.setReg(31, 1234);  // P01.06 12.34
    env.drive.setReg(549, 101);  // P17.11
    std::vector<std::string> pieces = expectedPieces(env);
    ASSERT_GE(pieces.size(), 8u);

    QTemporaryDir dir;
    const QString html = dir.filePath("r.html");
    auto r = cli(env, "-p COM3 report " + html);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string doc = fileBytes(html);
    pieces.push_back("<td>機種（P17.11）</td><td>101</td>");
    for (const std::string& piece : pieces) EXPECT_THAT(doc, HasSubstr(piece));

    // The SHA-256 is the one the backup's sidecar holds.
    const QString backup = dir.filePath("Data.txt");
    ASSERT_EQ(cli(env, "-p COM3 backup " + backup).code, 0);
    const std::string sidecar = fileBytes(backup + ".json");
    const std::string hash = sidecar.substr(sidecar.find("\"sha256\": \"") + 11, 64);
    EXPECT_THAT(doc, HasSubstr(hash));
    // Offline from that backup the report says the same of the parameters; --against gives the
    // file's differences.
    const QString offline = dir.filePath("offline.html");
    ASSERT_EQ(cli(env, "report --from " + backup + " " + offline).code, 0);
    pieces.back() = hash;  // the SHA-256 in place of the model row
    for (const std::string& piece : pieces) EXPECT_THAT(fileBytes(offline), HasSubstr(piece));
    env.drive.setReg(31, 500);
    ASSERT_EQ(cli(env, "-p COM3 report --against " + backup + " " + html).code, 0);
    EXPECT_THAT(fileBytes(html),
                HasSubstr("<td>P01.06</td><td>起動轉速</td><td>5.00</td><td>12.34</td>"));

    // The PDF's text as pdftotext reads it holds the same; cells wrap at their width, so the
    // text is compared without its line breaks and blanks.
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const QString pdf = dir.filePath("r.pdf");
    r = cli(env, "-p COM3 report " + pdf);
    ASSERT_EQ(r.code, 0) << r.err;
    QProcess p;
    p.start(pdftotext, {pdf, QStringLiteral("-")});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput())
                             .remove(QRegularExpression(QStringLiteral("\\s")));
    pieces = expectedPieces(env);
    pieces.push_back("變頻機維修報告");
    for (const std::string& piece : pieces)
        EXPECT_TRUE(text.contains(QString::fromStdString(piece).remove(QLatin1Char(' '))))
            << piece << "\n"
            << text.toStdString();
}

}  // namespace
}  // namespace velorin
