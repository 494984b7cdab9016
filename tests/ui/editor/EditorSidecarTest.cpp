// The editor's backups know their drive: a save online writes the sidecar, a load of a file
// edited since asks first (No is the default and changes nothing), and a load names the drive.

#include <gmock/gmock.h>

#include "EditorFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

class EditorSidecar : public EditorFixture {};

TEST_F(EditorSidecar, SaveWritesItLoadHeedsIt) {
    s.drive.setReg(549, 101);
    open();
    const QString path = desktopFile();
    s.dialogs.answerInputs({path});
    shortcut(Qt::Key_S);
    ASSERT_THAT(fileBytes(path + ".json"), ::testing::HasSubstr("\"model\": 101"));
    std::ofstream(path.toStdString(), std::ios::binary | std::ios::app) << "P23 0\r\n";

    for (const Answer answer : {Answer::No, Answer::Yes}) {
        const QString before = progress()->text();
        s.dialogs.answerQuestions({answer});
        s.dialogs.answerInputs({path});
        shortcut(Qt::Key_O);
        const ShownDialog& asked = s.dialogs.shown().back();
        EXPECT_THAT(asked.text.toStdString(), ::testing::HasSubstr("SHA-256 不符"));
        EXPECT_EQ(asked.enterGives, Answer::No);
        if (answer == Answer::No)
            EXPECT_EQ(progress()->text(), before);
        else
            EXPECT_THAT(
                progress()->text().toStdString(),
                ::testing::HasSubstr("這個檔案來自機種 101 的變頻機（站號 1，9600,N,7,2）"));
    }
}

}  // namespace
