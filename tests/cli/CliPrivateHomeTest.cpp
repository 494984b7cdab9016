// A test program and the programs it runs keep to the test's own home: velorin-cli logs its write
// there. (That the user's folders stay as they were is checked around the whole run:
// tests/support/user_folders.sh.)

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "support/DriveSimProcess.h"
#include "support/Files.h"
#include "support/PrivateHome.h"

namespace velorin {
namespace {

TEST(PrivateHome, TheTestAndTheProgramsItRunsWriteOnlyIntoTheirOwnHome) {
    const QString home = qEnvironmentVariable("HOME");
    for (const char* variable : test::PrivateHome::kVariables) {
        const QString value = qEnvironmentVariable(variable);
        EXPECT_TRUE(value.startsWith(home)) << variable << " " << value.toStdString();
        EXPECT_TRUE(QFileInfo(value).isDir()) << variable;
    }
    EXPECT_TRUE(QFileInfo(home).fileName().startsWith("velorin-test-home-")) << home.toStdString();

    test::DriveSimProcess sim({"--station", "1"});
    ASSERT_TRUE(sim.started());
    QProcess cli;
    cli.start(QDir(qEnvironmentVariable("VELORIN_BUILD_DIR")).filePath("src/cli/velorin-cli"),
              {"--port", sim.devicePath(), "write", "100", "5"});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const std::string log = test::fileBytes(
        QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath("velorin/changes.log"));
    EXPECT_NE(log.find("write 100 5"), std::string::npos) << log;
}

}  // namespace
}  // namespace velorin
