// velorin-cli's records of a drive: the change log, the fault history, a backup's sidecar and the
// service report.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "CliSim.h"
#include "support/LoggedChanges.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

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
    EXPECT_EQ(cli(env, "-p COM3 write 31 6").code, 7);
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

TEST(CliFaults, TheDrivesHistoryAndABackupsAlike) {
    SimEnvironment env;
    const RecordedFault faults[] = {{20, 1200}, {6, 1190}};
    env.drive.setFaultHistory(faults);
    env.drive.setReg(543, 1210);
    env.drive.setReg(421, 0b101);
    const std::string csv =
        "slot,number,code,text,hours,seconds_ago\n"
        "0,20,ErP1,20：參數設定錯誤1(ErP1)：P05.03~P05.12(DI重復設定),1200,36000\n"
        "1,6,oL,6：過負載(oL),1190,72000\n";
    auto r = cli(env, "-p COM3 faults --format csv");
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, csv)) << r.err;
    r = cli(env, "-p COM3 faults");
    EXPECT_THAT(r.out,
                StartsWith("最新\t20：參數設定錯誤1(ErP1)：P05.03~P05.12(DI重復設定)\t1200 "
                           "小時\t10.0 小時前\n前1次\t6：過負載(oL)\t1190 小時\t20.0 小時前\n"
                           "累計運轉時間\t1210 小時 0 分\n"));
    EXPECT_THAT(r.out, HasSubstr("P12.21 故障發生時的輸入端子狀態\tM0 M2\n"));
    r = cli(env, "-p COM3 --block-reads faults --format json");
    EXPECT_THAT(r.out, AllOf(HasSubstr("\"code\":\"ErP1\""),
                             HasSubstr("\"inputs\":{\"bits\":5,\"on\":[\"M0\",\"M2\"]}")));

    QTemporaryDir dir;
    const QString file = dir.filePath("Data.txt");
    ASSERT_EQ(cli(env, "-p COM3 backup " + file).code, 0);
    env.drive.clearFaultHistory();
    r = cli(env, "faults --format csv " + file);
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, csv)) << r.err;
}

// Restore names the drive the file came from and refuses an edited file or another model's unless
// told to go on; a file without a sidecar restores as always.
TEST(CliSidecar, BackupWritesItRestoreHeedsIt) {
    SimEnvironment env;
    env.drive.setReg(549, 101);   // P17.11
    env.drive.setReg(543, 1210);  // P17.05
    QTemporaryDir dir;
    const QString file = dir.filePath("Data.txt");
    const QString pages = " --pages P00,P17-1 ";
    ASSERT_EQ(cli(env, "-p COM3 backup" + pages + file).code, 0);
    const std::string json = fileBytes(file + ".json");
    EXPECT_THAT(json, HasSubstr("\"model\": 101,\n  \"station\": 1,\n  \"link\": \"9600,N,7,2\""));
    EXPECT_THAT(json, HasSubstr("\"run_hours\": 1210"));

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
    // Without its sidecar the file restores as always, whatever the drive.
    ASSERT_TRUE(QFile::remove(file + ".json"));
    const auto r = cli(env, "-p COM3 restore " + file);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.err, Not(HasSubstr("來自機種")));
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

std::string withoutDate(std::string html) {
    const std::size_t at = html.find("報告時間");
    return html.erase(at, html.find("</tr>", at) - at);
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
    const QString html = dir.filePath("r.html"), again = dir.filePath("again.html");
    auto r = cli(env, "-p COM3 report " + html);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string doc = fileBytes(html);
    pieces.push_back("<td>機種（P17.11）</td><td>101</td>");
    for (const std::string& piece : pieces) EXPECT_THAT(doc, HasSubstr(piece));
    // The same drive gives the same document, the date aside.
    ASSERT_EQ(cli(env, "-p COM3 report " + again).code, 0);
    EXPECT_EQ(withoutDate(fileBytes(again)), withoutDate(doc));

    // The SHA-256 is the one the backup's sidecar holds; offline from that backup the report
    // says the same of the parameters.
    const QString backup = dir.filePath("Data.txt");
    ASSERT_EQ(cli(env, "-p COM3 backup " + backup).code, 0);
    const std::string sidecar = fileBytes(backup + ".json");
    const std::string hash = sidecar.substr(sidecar.find("\"sha256\": \"") + 11, 64);
    EXPECT_THAT(doc, HasSubstr(hash));
    const QString offline = dir.filePath("offline.html");
    r = cli(env, "report --from " + backup + " " + offline);
    ASSERT_EQ(r.code, 0) << r.err;
    pieces.back() = hash;  // the SHA-256 in place of the model row
    for (const std::string& piece : pieces) EXPECT_THAT(fileBytes(offline), HasSubstr(piece));

    // --against: the file's differences.
    env.drive.setReg(31, 500);
    r = cli(env, "-p COM3 report --against " + backup + " " + html);
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
