// The editor window's writes in the change log, and the 參數(P) menu's way to the log's folder.

#include <QTemporaryDir>

#include "EditorFixture.h"
#include "platform/ChangeLogFile.h"
#include "support/DriveWrites.h"
#include "support/LoggedChanges.h"

using namespace velorin;
using namespace velorin::test;

namespace {

TEST_F(EditorFixture, AWriteLeavesOneLinePerRegisterAndTheMenuOpensTheLogsFolder) {
    QTemporaryDir dir;
    ChangeLogFile log(dir.filePath("data/changes.log"));
    std::vector<QString> opened;
    s.services.changeLog = &log;
    s.services.openFolder = [&opened](const QString& folder) { opened.push_back(folder); };
    open();
    s.drive.clearWriteLog();
    enter(2, "9");
    enter(4, "3");
    find<QAction>(QStringLiteral("writeChangedItem"))->trigger();
    ASSERT_EQ(writesOf(s.drive), (Writes{{2, 9}, {4, 3}}));
    // Before: the drive's factory values.
    EXPECT_EQ(shortChanges(log.path()),
              (std::vector<std::string>{"P00.02 6>9 6>9 已確認 寫入變更項目",
                                        "P00.04 2>3 2>3 已確認 寫入變更項目"}));
    // The port as the status line names it.
    EXPECT_EQ(loggedChanges(log.path()).front().port, "COM1（SIM1）");

    find<QAction>(QStringLiteral("changeLogFolderItem"))->trigger();
    EXPECT_EQ(opened, std::vector<QString>{dir.filePath("data")});
}

}  // namespace
