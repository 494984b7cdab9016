// The write's preview, the write of the changes only, the change log and its folder.

#include "EditorFixture.h"
#include "platform/ChangeLogFile.h"
#include "support/DriveWrites.h"
#include "support/LoggedChanges.h"

using namespace velorin;
using namespace velorin::test;

namespace {

// The preview lists the two edits with both values as shown; No sends nothing; Yes sends the
// running check and the two edits, one log line each. With nothing changed: ask to send all.
TEST_F(EditorFixture, ThePreviewListsTheChangesAndAWriteLeavesOneLogLinePerRegister) {
    QTemporaryDir dir;
    ChangeLogFile log(dir.filePath("data/changes.log"));
    std::vector<QString> opened;
    s.services.changeLog = &log;
    s.services.openFolder = [&opened](const QString& folder) { opened.push_back(folder); };
    open();
    const QString before = field(2)->currentText();  // as the field shows it
    enter(2, "9");
    enter(4, "3");
    forget();
    s.dialogs.answerTables({Answer::No});
    find<QAction>(QStringLiteral("writeItem"))->trigger();
    ASSERT_EQ(s.dialogs.shown().size(), 1u);
    const ShownDialog& preview = s.dialogs.shown().front();
    EXPECT_EQ(preview.kind, ShownDialog::Kind::Table);
    EXPECT_TRUE(preview.text.startsWith(QStringLiteral("寫入將變更變頻機的 2 項參數，另有 ")));
    EXPECT_EQ(preview.rows, (std::vector<QStringList>{{"P00.02", "監看變數LPF時間", before, "9"},
                                                      {"P00.04", "無單位顯示小數點", "2", "3"}}));
    EXPECT_TRUE(record.reads().empty() && s.drive.writeLog().empty());

    s.dialogs.clear();
    find<QAction>(QStringLiteral("writeChangedItem"))->trigger();
    EXPECT_EQ(record.firstReads(), std::vector<int>{0x2101});
    EXPECT_EQ(writesOf(s.drive), (Writes{{2, 9}, {4, 3}}));
    EXPECT_EQ(shortChanges(log.path()),
              (std::vector<std::string>{"P00.02 6>9 6>9 已確認 寫入變更項目",
                                        "P00.04 2>3 2>3 已確認 寫入變更項目"}));
    EXPECT_EQ(loggedChanges(log.path()).front().port, "COM1（SIM1）");
    find<QAction>(QStringLiteral("changeLogFolderItem"))->trigger();
    EXPECT_EQ(opened, std::vector<QString>{dir.filePath("data")});

    forget();
    s.dialogs.answerTables({Answer::No});
    find<QAction>(QStringLiteral("writeChangedItem"))->trigger();
    ASSERT_EQ(s.dialogs.shown().size(), 1u);
    EXPECT_EQ(s.dialogs.shown().front().text,
              QStringLiteral("畫面上的值與變頻機相同，沒有要變更的參數。是否仍要寫入全部參數？"));
    EXPECT_TRUE(s.drive.writeLog().empty());
}

}  // namespace
