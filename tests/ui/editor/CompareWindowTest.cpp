// The editor's compare window: Ctrl+M, a file chosen only to compare, the double click to a field,
// offline, the CSV. What the comparison finds is the core's test (ParameterCompareTest).

#include "EditorFixture.h"
#include "ui/editor/CompareWindow.h"

using namespace velorin;
using namespace velorin::test;

namespace {

class EditorCompare : public EditorFixture {
protected:
    template <class T>
    T* inWindow(const char* name) {
        auto* w = editor->findChild<QWidget*>("compareWindow")->findChild<T*>(name);
        EXPECT_TRUE(w) << name;
        return w;
    }
    QTableWidget* table() { return inWindow<QTableWidget>("compareTable"); }
    std::vector<QStringList> rows() {
        std::vector<QStringList> out(1);
        for (int c = 0; c < table()->columnCount(); ++c)
            out[0] << table()->horizontalHeaderItem(c)->text();
        for (int r = 0; r < table()->rowCount(); ++r) {
            out.emplace_back();
            for (int c = 0; c < table()->columnCount(); ++c)
                out.back() << table()->item(r, c)->text();
        }
        return out;
    }
};

TEST_F(EditorCompare, CtrlMComparesAChosenFileWithoutLoadingItAndADoubleClickShowsTheField) {
    s.drive.setReg(2, 9);  // P00.02
    open();
    enter(2, QStringLiteral("7"));
    shortcut(Qt::Key_M);
    // A file of pages P00 and P01-2 at the factory values but for P00.02 and P01.24.
    std::ofstream out(desktopFile("Other.txt").toStdString(), std::ios::binary);
    for (auto [first, last] : {std::pair{0, 22}, {49, 54}})
        for (int reg = first; reg <= last; ++reg)
            out << "P" << reg << " " << (reg == 2 ? 5 : reg == 49 ? 1500 : factoryDriveValue(reg))
                << "\r\n";
    out.close();
    const EditorCore::Values working = core->working();
    record.clear();
    s.dialogs.answerInputs({desktopFile("Other.txt")});
    click(inWindow<QPushButton>("chooseCompareFile"));
    inWindow<QCheckBox>("compareFactory")->setChecked(true);
    ASSERT_EQ(rows(),
              (std::vector<QStringList>{{"代碼", "名稱", "變頻機", "編輯器", "Other.txt", "出廠值"},
                                        {"P00.02", "監看變數LPF時間", "9", "7", "5", "6"},
                                        {"P01.24", "跳躍頻率1", "", "", "15.00", "0.00"}}));
    // The editor shows and holds what it did, and its pages stay unread.
    EXPECT_EQ(field(2)->currentText(), "7");
    EXPECT_EQ(core->working(), working);
    EXPECT_TRUE(!core->pagePresent(2) && record.requests().empty());
    screenshot(table()->window(), "compare.png");

    // A mouse's double click on P01.24: page P01-2 is read, then its field has the focus.
    const QPoint cell = table()->visualItemRect(table()->item(1, 0)).center();
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(record.firstReads(), span(49, 54));
    EXPECT_EQ(std::pair(currentPage(), field(49)->hasFocus()), std::pair(2, true));
}

TEST_F(EditorCompare, OfflineComparesTheFieldsWithTheFactoryValuesAndSavesTheTableAsCsv) {
    // As after a visit to a drive whose P13.35 was at its factory value.
    core->copies().pidDecimals = 2;
    open(true);
    enter(2, QStringLiteral("9"));
    field(0)->setCurrentIndex(2);
    find<QAction>(QStringLiteral("compareItem"))->trigger();
    EXPECT_FALSE(inWindow<QCheckBox>("compareDrive")->isVisibleTo(table()->window()));
    EXPECT_EQ(inWindow<QLabel>("compareSummary")->text(), "2 項不同，共 487 項");
    s.dialogs.answerInputs({desktopFile("比較.csv")});
    click(inWindow<QPushButton>("saveCompareCsv"));
    EXPECT_EQ(fileBytes(desktopFile("比較.csv")),
              "代碼,名稱,編輯器,出廠值\n"
              "P00.00,開機顯示畫面選擇,2：顯示實際運轉頻率(H),0：顯示設定頻率(F)\n"
              "P00.02,監看變數LPF時間,9,6\n");
}

// The columns in the table's width: the name takes what is left, else the widest are cut to one
// width and the narrow ones stay whole.
TEST(CompareColumns, FillTheWidthCuttingTheWidestFirst) {
    const struct {
        std::vector<int> natural;
        int available;
        std::vector<int> widths;
    } cases[] = {
        {{50, 100, 80, 80}, 400, {50, 190, 80, 80}},
        {{100, 100}, 200, {100, 100}},
        {{50, 150, 400, 300}, 600, {50, 150, 200, 200}},
        {{50, 150, 400, 300}, 100, {25, 25, 25, 25}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fittedColumnWidths(c.natural, c.available, 1), c.widths) << c.available;
}

}  // namespace
