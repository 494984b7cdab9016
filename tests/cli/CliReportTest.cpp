// velorin-cli report: the document holds what diff --factory and faults say of the same drive,
// the SHA-256 a backup's sidecar holds, the same document for the same inputs, and offline the
// same from a backup; the PDF's text as pdftotext reads it.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "CliSim.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

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

    EXPECT_EQ(cli(env, "-p COM3 report r.txt").code, 2);
}

TEST(CliReport, PdfTextAsPdftotextReadsIt) {
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    SimEnvironment env;
    const RecordedFault faults[] = {{3, 10}};
    env.drive.setFaultHistory(faults);
    env.drive.setReg(31, 1234);
    const std::vector<std::string> pieces = expectedPieces(env);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("r.pdf");
    const auto r = cli(env, "-p COM3 report " + pdf);
    ASSERT_EQ(r.code, 0) << r.err;
    QProcess p;
    p.start(pdftotext, {pdf, QStringLiteral("-")});
    ASSERT_TRUE(p.waitForFinished(30000));
    // Cells wrap at their width: the text is compared without its line breaks and blanks.
    const QString text = QString::fromUtf8(p.readAllStandardOutput())
                             .remove(QRegularExpression(QStringLiteral("\\s")));
    EXPECT_TRUE(text.contains(QStringLiteral("變頻機維修報告")));
    for (const std::string& piece : pieces)
        EXPECT_TRUE(text.contains(QString::fromStdString(piece).remove(QLatin1Char(' '))))
            << piece << "\n"
            << text.toStdString();
}

}  // namespace
}  // namespace velorin
