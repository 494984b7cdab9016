// A backup's sidecar on the command line: backup writes it, restore names the drive the file
// came from and refuses an edited file or another model's unless told to go on; a file without
// a sidecar restores as always.

#include <QFile>
#include <QTemporaryDir>

#include "CliSim.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

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

}  // namespace
}  // namespace velorin
