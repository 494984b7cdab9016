// The editor's compare window, offscreen with scripted dialogs on the simulated drive: Ctrl+M, the
// sets it offers online and offline, a file chosen only for the comparison, the double click that
// shows a field in the editor, and the table saved as CSV. What the comparison finds is the core's
// test (tests/editor/ParameterCompareTest.cpp).

#include <QDir>
#include <fstream>
#include <map>
#include <sstream>

#include "EditorFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

class EditorCompare : public EditorFixture {
protected:
    QWidget* window() { return editor->findChild<QWidget*>(QStringLiteral("compareWindow")); }
    template <class T>
    T* inWindow(const char* name) {
        auto* w = window()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(w) << name;
        return w;
    }
    QTableWidget* table() { return inWindow<QTableWidget>("compareTable"); }
    QCheckBox* box(const char* name) { return inWindow<QCheckBox>(name); }
    QString summary() { return inWindow<QLabel>("compareSummary")->text(); }
    std::vector<QStringList> rows() {
        std::vector<QStringList> out;
        QStringList header;
        for (int c = 0; c < table()->columnCount(); ++c)
            header << table()->horizontalHeaderItem(c)->text();
        out.push_back(header);
        for (int r = 0; r < table()->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < table()->columnCount(); ++c) row << table()->item(r, c)->text();
            out.push_back(row);
        }
        return out;
    }
    QString desktopFile(const QString& name) {
        return QDir(s.folders.desktopFolder()).filePath(name);
    }
    // A parameter file of pages P00 and P01-2 at the factory values but for those given.
    QString writeFile(const QString& name, const std::map<int, int>& values) {
        std::string text;
        for (auto [first, last] : {std::pair{0, 22}, {49, 54}})
            for (int reg = first; reg <= last; ++reg)
                text += "P" + std::to_string(reg) + " " +
                        std::to_string(values.count(reg) ? values.at(reg) : factoryDriveValue(reg)) +
                        "\r\n";
        const QString path = desktopFile(name);
        std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc) << text;
        return path;
    }
    void chooseFile(const QString& path) {
        s.dialogs.answerInputs({path});
        click(inWindow<QPushButton>("chooseCompareFile"));
    }
    void doubleClick(int row) {
        const QRect cell = table()->visualItemRect(table()->item(row, 0));
        // A mouse's double click: a click, then the second press that makes it double.
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
    }
    // What the editor shows and holds: every field's text, the working values, the pages.
    std::vector<QString> editorState() {
        std::vector<QString> out;
        for (QComboBox* f : editor->findChildren<QComboBox*>())
            out.push_back(f->objectName() + QLatin1Char(' ') + f->currentText());
        for (int reg = 0; reg < kRegisterCount; ++reg)
            out.push_back(QString::number(core->working()[reg]));
        for (int page = 0; page < kPageCount; ++page)
            out.push_back(QString::number(core->pagePresent(page)));
        return out;
    }
};

TEST_F(EditorCompare, CtrlMComparesTheDriveWithTheFieldsAndAChosenFileLeavesTheEditorAlone) {
    s.drive.setReg(2, 9);  // P00.02
    open();
    enter(2, QStringLiteral("7"));
    shortcut(Qt::Key_M);
    ASSERT_TRUE(window() && window()->isVisible());
    EXPECT_EQ(window()->windowTitle(), "比較");
    EXPECT_TRUE(box("compareDrive")->isChecked() && box("compareEditor")->isChecked());
    EXPECT_FALSE(box("compareFactory")->isChecked() || box("compareFile")->isEnabled());
    EXPECT_EQ(rows(), (std::vector<QStringList>{{"代碼", "名稱", "變頻機", "編輯器"},
                                                {"P00.02", "監看變數LPF時間", "9", "7"}}));
    EXPECT_EQ(summary(), "1 項不同，共 21 項");

    // A file that is not sound is refused and changes nothing.
    const std::vector<QString> before = editorState();
    record.clear();
    chooseFile(writeFile(QStringLiteral("Bad.txt"), {}) + QStringLiteral("-missing"));
    EXPECT_EQ(s.dialogs.shown().back().title, "檔案錯誤");
    EXPECT_FALSE(box("compareFile")->isEnabled());
    // A sound file joins the table as its own column; the editor keeps its fields, values and
    // pages, and nothing goes on the line.
    chooseFile(writeFile(QStringLiteral("Other.txt"), {{2, 5}, {49, 1500}}));
    EXPECT_TRUE(box("compareFile")->isChecked());
    EXPECT_EQ(box("compareFile")->text(), "Other.txt");
    EXPECT_EQ(rows(), (std::vector<QStringList>{{"代碼", "名稱", "變頻機", "編輯器", "Other.txt"},
                                                {"P00.02", "監看變數LPF時間", "9", "7", "5"}}));
    EXPECT_EQ(editorState(), before);
    EXPECT_TRUE(record.requests().empty());

    // The editor's values are taken again as the fields hold them now; all rows on request.
    enter(2, QStringLiteral("9"));
    box("compareDrive")->setChecked(false);
    EXPECT_EQ(rows().back(), (QStringList{"P00.02", "監看變數LPF時間", "9", "5"}));
    click(inWindow<QRadioButton>("showAll"));
    EXPECT_EQ(table()->rowCount(), 21 + 6);
    EXPECT_EQ(summary(), "1 項不同，共 27 項");
}

TEST_F(EditorCompare, DoubleClickShowsTheFieldInTheEditorReadingAnUnreadPageFirst) {
    open();
    shortcut(Qt::Key_M);
    box("compareFactory")->setChecked(true);
    chooseFile(writeFile(QStringLiteral("Other.txt"), {{2, 5}, {49, 1500}}));
    ASSERT_EQ(rows(), (std::vector<QStringList>{
                          {"代碼", "名稱", "變頻機", "編輯器", "Other.txt", "出廠值"},
                          {"P00.02", "監看變數LPF時間", "6", "6", "5", "6"},
                          {"P01.24", "跳躍頻率1", "", "", "15.00", "0.00"}}));
    // P01.24's page P01-2 was never read: the double click reads it, then focuses the field.
    record.clear();
    doubleClick(1);
    EXPECT_EQ(record.reads(), span(49, 54));
    EXPECT_EQ(currentPage(), 2);
    EXPECT_TRUE(field(49)->hasFocus());
    // A page already read is only shown.
    record.clear();
    doubleClick(0);
    EXPECT_TRUE(record.requests().empty());
    EXPECT_EQ(currentPage(), 0);
    EXPECT_TRUE(field(2)->hasFocus());
    // Ctrl+M again compares again: the page just read is now in the drive's column.
    shortcut(Qt::Key_M);
    EXPECT_EQ(rows().back(), (QStringList{"P01.24", "跳躍頻率1", "0.00", "0.00", "15.00", "0.00"}));
}

TEST_F(EditorCompare, OfflineComparesTheFieldsWithTheFactoryValuesAndSavesTheTableAsCsv) {
    // As after an earlier visit online to a drive whose P13.35 was at its factory value, so
    // P13.04's field converts as it shows.
    core->copies().pidDecimals = 2;
    open(true);
    find<QAction>(QStringLiteral("compareItem"))->trigger();
    ASSERT_TRUE(window());
    EXPECT_FALSE(box("compareDrive")->isVisibleTo(window()));
    EXPECT_TRUE(box("compareEditor")->isChecked() && box("compareFactory")->isChecked());
    EXPECT_EQ(summary(), "0 項不同，共 487 項");
    enter(2, QStringLiteral("9"));
    field(0)->setCurrentIndex(2);
    click(inWindow<QPushButton>("compareAgain"));
    EXPECT_EQ(summary(), "2 項不同，共 487 項");

    const QString csv = desktopFile(QStringLiteral("比較.csv"));
    s.dialogs.answerInputs({csv});
    click(inWindow<QPushButton>("saveCompareCsv"));
    EXPECT_EQ(s.dialogs.shown().back().kind, ShownDialog::Kind::SaveFile);
    EXPECT_EQ(s.dialogs.shown().back().defaultName, "參數比較.csv");
    std::stringstream bytes;
    bytes << std::ifstream(csv.toStdString(), std::ios::binary).rdbuf();
    EXPECT_EQ(bytes.str(),
              "代碼,名稱,編輯器,出廠值\n"
              "P00.00,開機顯示畫面選擇,2：顯示實際運轉頻率(H),0：顯示設定頻率(F)\n"
              "P00.02,監看變數LPF時間,9,6\n");

    // Fewer than two sets: nothing is compared and nothing can be saved.
    box("compareFactory")->setChecked(false);
    EXPECT_EQ(table()->rowCount(), 0);
    EXPECT_EQ(summary(), "請選擇至少兩組參數比較。");
    EXPECT_FALSE(inWindow<QPushButton>("saveCompareCsv")->isEnabled());
}

}  // namespace
