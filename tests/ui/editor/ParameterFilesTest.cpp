// The editor's save and load: the file a save writes, a load shown in the fields, loads that must
// change nothing. The file's own rules are the core's (tests/editor/EditorFindMarksTest.cpp).

#include <gmock/gmock.h>

#include "EditorFixture.h"
#include "texts/FileTexts.h"
#include "texts/LinkTexts.h"
#include "ui/editor/EditorTexts.h"

using namespace velorin;
using namespace velorin::test;
namespace text = velorin::editortext;

namespace {

std::vector<int> presentPages(const EditorCore& core) {
    std::vector<int> pages;
    for (int page = 0; page <= kPageCount; ++page)
        if (core.pagePresent(page))
            pages.push_back(page);
    return pages;
}

class EditorFiles : public EditorFixture {
protected:
    void save(const QString& path) {
        s.dialogs.answerInputs({path});
        shortcut(Qt::Key_S);
    }
    void load(const std::string& bytes) {
        const QString path = desktopFile(QStringLiteral("In.txt"));
        writeFile(path, bytes);
        s.dialogs.answerInputs({path});
        shortcut(Qt::Key_O);
    }
    // Everything a load may change: what each field shows and says, and the page flags.
    std::vector<QString> state() {
        std::vector<QString> out;
        for (QComboBox* f : editor->findChildren<QComboBox*>())
            out.push_back(QStringLiteral("%1 %2 #%3 %4")
                              .arg(f->objectName(), f->currentText())
                              .arg(f->currentIndex())
                              .arg(f->toolTip()));
        for (int page : presentPages(*core)) out.push_back(QString::number(page));
        return out;
    }
};

TEST_F(EditorFiles, SaveWritesThePagesReadOnlineAndEveryRegisterOfflineOrSaysWhyNot) {
    open();
    save(desktopFile());
    const ShownDialog& d = s.dialogs.shown().back();
    EXPECT_EQ(std::tuple(d.kind, d.text, d.defaultName, d.filter),
              std::tuple(ShownDialog::Kind::SaveFile, s.folders.desktopFolder(), QString("Data.txt"),
                         QString("Text Files (*.txt);;All Files (*.*)")));
    const std::string online = fileBytes(desktopFile());  // its bytes: the file's test
    // Only page P00 was read: the report says so and names the pages the file lacks.
    EXPECT_THAT(progress()->text().toStdString(),
                ::testing::AllOf(::testing::StartsWith("已儲存 23 項至 Data.txt，只含 1 頁（P00），"
                                                       "缺 28 頁（P01-1、"),
                                 ::testing::EndsWith("、P17-1）")));
    // A cancelled dialog writes nothing.
    shortcut(Qt::Key_S);
    EXPECT_EQ(fileBytes(desktopFile()), online);

    delete editor.data();
    open(true);
    EXPECT_EQ(find<QLabel>(QStringLiteral("linkLabel"))->text(), "離線模式");
    save(desktopFile());
    EXPECT_EQ(progress()->text(), "已儲存 549 項至 Data.txt，含全部 29 頁");
    EXPECT_TRUE(s.dialogs.messages().empty());
    // A target that cannot be written (a folder) is told in a box.
    const QString folder = desktopFile(QStringLiteral("Sub.txt"));
    QDir().mkpath(folder);
    save(folder);
    ASSERT_EQ(s.dialogs.messages().size(), 1u);
    EXPECT_THAT(s.dialogs.messages()[0].toStdString(),
                ::testing::StartsWith("無法寫入檔案：" + folder.toStdString() + "\n"));
    EXPECT_EQ(s.dialogs.shown().back().title, "檔案錯誤");
}

// Offline, texts no field takes are marked as typed and never reach a file: the save names them
// and writes nothing (it once wrote "P3 99999999", "P12 100000", 0 for "abc" and cut 12.345).
TEST_F(EditorFiles, TextsNoFieldTakesAreMarkedAndTheSaveRefusesThem) {
    open(true);
    const std::pair<int, const char*> typed[] = {{3, "99999999"}, {12, "1000.00"}, {2, "abc"},
                                                 {10, "12.345"},  {11, "1e3"},     {13, "-5"}};
    for (auto [reg, text] : typed) {
        typeInto(reg, text);
        EXPECT_TRUE(field(reg)->styleSheet().contains("dashed")) << reg;
        EXPECT_TRUE(field(reg)->toolTip().contains(QStringLiteral("不符"))) << reg;
    }
    save(desktopFile());
    ASSERT_EQ(s.dialogs.shown().size(), 1u);  // no file dialog: nothing is saved
    EXPECT_EQ(s.dialogs.messages()[0],
              "P00.02 須為整數（0~65535），「abc」不符。\n"
              "P00.03 須為整數（0~65535），「99999999」不符。\n"
              "P00.10 須為小數至多 2 位的數字（0.00~655.35），「12.345」不符。\n"
              "P00.11 須為小數至多 2 位的數字（0.00~655.35），「1e3」不符。\n"
              "P00.12 須為小數至多 2 位的數字（0.00~655.35），「1000.00」不符。\n"
              "P00.13 須為小數至多 2 位的數字（0.00~655.35），「-5」不符。\n檔案未儲存。");
    EXPECT_FALSE(QFile::exists(desktopFile()));
    EXPECT_EQ(QApplication::focusWidget(), field(2));
    for (auto [reg, text] : typed) typeInto(reg, "1");
    EXPECT_FALSE(field(3)->styleSheet().contains("dashed"));
    save(desktopFile());
    EXPECT_THAT(fileBytes(desktopFile()), ::testing::HasSubstr("P3 1\r\nP4"));
}

TEST_F(EditorFiles, ALoadMarksTheFilesPagesAndShowsItsValuesAsAPageRead) {
    // A choice field shows "#position"; nullptr: the field is left as it was. What each value
    // shows is the core's (ParameterFile.SaveLoadSaveThroughTheFieldsGivesTheSameBytes).
    // clang-format off
    const struct { std::string file; std::vector<int> pages; int reg; const char* shown; bool marked; } cases[] = {
        {fileOf({{25, "1"}}, 25, 48), {1}, 25, "#1", false},
        {fileOf({{1, "99"}}), span(0, 28), 1, nullptr, true},  // no such position
    };
    // clang-format on
    open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reg);
        const QString old = field(c.reg)->currentText();
        load(c.file);
        EXPECT_TRUE(s.dialogs.messages().empty());
        EXPECT_EQ(presentPages(*core), c.pages);
        QComboBox* f = field(c.reg);
        const QString shown =
            f->isEditable() ? f->currentText() : QStringLiteral("#%1").arg(f->currentIndex());
        EXPECT_EQ(shown, c.shown ? QString::fromUtf8(c.shown) : (f->isEditable() ? old : shown));
        EXPECT_EQ(f->toolTip().contains("檔案中的值 99"), c.marked);
    }
    // The pages the file did not hold are read from the drive when the technician turns to them.
    load(cases[0].file);
    EXPECT_THAT(progress()->text().toStdString(),
                ::testing::HasSubstr("項自 In.txt，只含 1 頁（P01-1），缺 28 頁"));
    record.clear();
    click(tab(1));
    click(tab(0));
    EXPECT_EQ(record.firstReads(), span(0, 22));
}

// A faulty or cancelled load changes nothing; unreadable lines are skipped only on Yes.
TEST_F(EditorFiles, ACancelledOrFaultyLoadChangesNoFieldAndNoPage) {
    const std::string codeForm = fileOf({}) + "P01.24 5\r\n";
    // clang-format off
    const struct { std::optional<std::string> file; const char* message; const char* question; } cases[] = {
        {std::nullopt, nullptr, nullptr},
        {fileOf({{299, "x"}}), "第 300 行：P299 的數值「x」不是數字。\n第 296 行：頁面 P9-3 缺少 P299 的數值。", nullptr},
        {"P23 5\r\n", kNoPageText, nullptr},
        {codeForm, nullptr, "檔案中有 1 行無法讀取：\n第 550 行：P01.24 是參數代碼，不是參數編號（例如 P31）。"
                            "\n\n略過這些行，讀取其餘的參數？"},
    };
    // clang-format on
    s.drive.setReg(25, 99);
    open();
    click(tab(1));
    enter(2, "9");
    const std::vector<QString> before = state();
    const EditorCore::Values working = core->working();
    for (const auto& [file, message, question] : cases) {
        s.dialogs.clear();
        file ? load(*file) : shortcut(Qt::Key_O);
        EXPECT_EQ(state(), before);
        EXPECT_EQ(s.dialogs.shown().at(0).filter, "Text Files(*.txt)");
        EXPECT_EQ(s.dialogs.messages(), message ? std::vector<QString>{QString::fromUtf8(message)}
                                                : std::vector<QString>{});
        EXPECT_EQ(s.dialogs.questions(), question
                                             ? std::vector<QString>{QString::fromUtf8(question)}
                                             : std::vector<QString>{});
        EXPECT_TRUE((!message && !question) || s.dialogs.shown().back().title == "檔案錯誤");
        EXPECT_EQ(core->working(), working);
    }
    s.dialogs.answerQuestions({Answer::Yes});
    load(codeForm);
    EXPECT_EQ(presentPages(*core).size(), static_cast<std::size_t>(kFilePageCount));
}

TEST_F(EditorFiles, TheSidecarIsWrittenAndHeeded) {
    s.drive.setReg(549, 101);
    open();
    save(desktopFile());
    ASSERT_THAT(fileBytes(desktopFile() + ".json"), ::testing::HasSubstr("\"model\": 101"));
    writeFile(desktopFile(), "P23 0\r\n", true);
    for (const Answer answer : {Answer::No, Answer::Yes}) {
        const QString before = progress()->text();
        s.dialogs.answerQuestions({answer});
        s.dialogs.answerInputs({desktopFile()});
        shortcut(Qt::Key_O);
        const ShownDialog& asked = s.dialogs.shown().back();
        EXPECT_THAT(asked.text.toStdString(), ::testing::HasSubstr("SHA-256 不符"));
        EXPECT_EQ(asked.enterGives, Answer::No);
        if (answer == Answer::No)
            EXPECT_EQ(progress()->text(), before);
        else
            EXPECT_THAT(progress()->text().toStdString(),
                        ::testing::HasSubstr("這個檔案來自機種 101 的變頻機（站號 1，9600,N,7,2）"));
    }
}

// The editor core's outcomes as the editor window words them.

using Why = WriteIssue::Why;

WriteOutcome ended(WriteOutcome::End end, std::vector<WriteIssue> unconfirmed,
                   std::vector<WriteIssue> skipped = {}) {
    return {.end = end, .confirmed = 2, .unconfirmed = std::move(unconfirmed),
            .skipped = std::move(skipped), .settingsInUse = "9600,E,7,1 ASCII", .stationInUse = 5};
}

TEST(EditorTexts, AnIncompleteWriteIsReportedLineByLine) {
    using End = WriteOutcome::End;
    const WriteIssue silent{51, Why::NotConfirmed, {LinkOutcome::NoReply}};
    const WriteIssue portGone{51, Why::NotConfirmed, {LinkOutcome::PortError}};
    const struct {
        WriteOutcome outcome;
        QStringList lines;
    } cases[] = {  // the silent drive's: the CLI's write test
        {ended(End::DriveSilent, {portGone}),
         {"通訊埠已中斷，寫入已停止：已確認寫入 2 項，其餘參數未寫入。",
          "P01.26 跳躍頻率3：" + QString::fromStdString(describeOutcome(portGone.reply))}},
        {ended(End::NotAtNewSettings, {}),
         {"變頻機在新的通訊設定下未回應，其餘參數未寫入。目前使用：9600,E,7,1 ASCII 站號 5"}},
        // The unconfirmed first, then the skipped in their order.
        {ended(End::Finished, {silent},
               {{0, Why::NotShown}, {2, Why::OutOfRange}, {497, Why::NoSelection},
                {261, Why::CopyUnread, {}, 382}}),
         {"P01.26 跳躍頻率3：變頻機未回應", "P00.00 開機顯示畫面選擇：欄位未顯示變頻機的值，未寫入",
          "P00.02 監看變數LPF時間：數值超出 -32768~65535，未寫入",
          "P15.01 PC傳輸速率：未選擇項目，未寫入", "P09.15 IM1額定線電流：P11.14 讀取失敗，未寫入"}},
    };
    for (const auto& c : cases) EXPECT_EQ(text::writeReport(c.outcome), c.lines);
    // At most the lines asked for, then a count.
    const QStringList many = text::writeReport(ended(End::Finished, std::vector(21, silent)), 20);
    ASSERT_EQ(many.size(), 21);
    EXPECT_EQ(many.back(), "…及其他 1 項");
}

}  // namespace
