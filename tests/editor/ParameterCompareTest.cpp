// The comparison of parameter sets in the editor's core: the drive as read, the editor's working
// values, a parameter file and the factory values, two to four at a time, with differences on
// several pages.

#include <gmock/gmock.h>

#include "editor/CoreFixture.h"
#include "editor/ParameterSets.h"

using namespace velorin;
using namespace velorin::test;

namespace {

using ::testing::ElementsAreArray;

// One row as the table shows it: the code, then each set's text ("" where it lacks the page).
using ShownRow = std::vector<std::string>;

std::vector<ShownRow> differingRows(const Comparison& comparison) {
    std::vector<ShownRow> rows;
    for (const CompareRow& row : comparison.rows) {
        if (!row.differs)
            continue;
        ShownRow shown = {Catalogue::codeOf(row.reg)};
        for (const auto& value : row.values) shown.push_back(comparedText(value));
        rows.push_back(shown);
    }
    return rows;
}

class ParameterCompare : public CoreFixture {
protected:
    // The drive gave pages P00, P01-1 and P03 with three values off the factory's; the
    // technician then typed three values; a file holds P00, P01-2 and P05 at the factory values
    // but for four.
    void SetUp() override {
        connect(Framing::Ascii);
        drive.setReg(2, 9);      // P00.02
        drive.setReg(31, 1234);  // P01.06 12.34
        drive.setReg(97, 555);   // P03.01 5.55
        for (int page : {0, 1, 5}) {
            ASSERT_TRUE(core.readPage(page).ok());
            takeShownValues(page);
        }
        core.working()[2] = 7;
        core.working()[31] = 50;
        core.working()[97] = 600;

        std::string text;
        for (auto [first, last] : {std::pair{0, 22}, {49, 54}, {146, 164}})
            for (int reg = first; reg <= last; ++reg) {
                std::int32_t value = factoryDriveValue(reg);
                if (reg == 0)
                    value = 70;  // P00.00: no such option
                else if (reg == 2)
                    value = 9;  // as the drive
                else if (reg == 49)
                    value = 1500;  // P01.24 15.00
                else if (reg == 149)
                    value = 37;  // P05.03, an option with a comma
                text += "P" + std::to_string(reg) + " " + std::to_string(value) + "\r\n";
            }
        file.load = parseParameterFile(text);
        ASSERT_TRUE(file.load.ok());
    }
    ParameterSet file;
};

const std::string kNoFunction = "0：無功能";
const std::string kSingleClick = "37：單擊自動運轉(啟動/停止,鍵盤STOP鍵有效)";
const std::string kSetFrequency = "0：顯示設定頻率(F)";

TEST_F(ParameterCompare, TwoThreeAndFourSetsShowWhatDiffersWhereTheSetsHoldIt) {
    const EditorCore::Values working = core.working();
    const ParameterSet driveValues = driveSet(core), editorValues = workingSet(core);
    // Taking the drive's set leaves the editor's working values as they were.
    EXPECT_EQ(core.working(), working);

    const struct {
        const char* sets;
        std::vector<ParameterSet> compared;
        std::vector<ShownRow> differing;
        std::vector<std::size_t> missingPages;  // how many pages each set lacks
    } cases[] = {
        {"drive, editor",
         {driveValues, editorValues},
         {{"P00.02", "9", "7"}, {"P01.06", "12.34", "0.50"}, {"P03.01", "5.55", "6.00"}},
         {0, 0}},
        {"drive, file, factory",
         {driveValues, file, factorySet()},
         {{"P00.00", kSetFrequency, "無法顯示（70）", kSetFrequency},
          {"P00.02", "9", "9", "6"},
          {"P01.06", "12.34", "", "0.00"},
          {"P01.24", "", "15.00", "0.00"},
          {"P03.01", "5.55", "", "10.00"},
          {"P05.03", "", kSingleClick, kNoFunction}},
         {26, 26, 0}},
        {"drive, editor, file, factory",
         {driveValues, editorValues, file, factorySet()},
         {{"P00.00", kSetFrequency, kSetFrequency, "無法顯示（70）", kSetFrequency},
          {"P00.02", "9", "7", "9", "6"},
          {"P01.06", "12.34", "0.50", "", "0.00"},
          {"P01.24", "", "", "15.00", "0.00"},
          {"P03.01", "5.55", "6.00", "", "10.00"},
          {"P05.03", "", "", kSingleClick, kNoFunction}},
         {26, 26, 26, 0}},
        // Only their common page P00 is told apart.
        {"file, editor",
         {file, editorValues},
         {{"P00.00", "無法顯示（70）", kSetFrequency}, {"P00.02", "9", "7"}},
         {2, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sets);
        const Comparison comparison = compareSets(c.compared);
        EXPECT_THAT(differingRows(comparison), ElementsAreArray(c.differing));
        EXPECT_EQ(comparison.differs(), !c.differing.empty());
        ASSERT_EQ(comparison.missingPages.size(), c.compared.size());
        for (std::size_t i = 0; i < c.compared.size(); ++i)
            EXPECT_EQ(comparison.missingPages[i].size(), c.missingPages[i]) << i;
    }

    // With the factory values every parameter of the 29 pages has a row; a row where only one
    // set holds the parameter is not a difference.
    const Comparison withFactory = compareSets(std::vector{driveValues, factorySet()});
    EXPECT_EQ(withFactory.rows.size(), 487u);
    for (const CompareRow& row : withFactory.rows) {
        const int page = Catalogue::instance().parameter(row.reg).page;
        EXPECT_EQ(row.inEverySet(), page == 0 || page == 1 || page == 5) << row.reg;
    }

    // The table as CSV: the rows that differ, a comma inside a text quoted.
    const std::string names[] = {"變頻機", "Data.txt", "出廠值"};
    EXPECT_EQ(comparisonCsv(compareSets(std::vector{driveValues, file, factorySet()}), names, true),
              "代碼,名稱,變頻機,Data.txt,出廠值\n"
              "P00.00,開機顯示畫面選擇,0：顯示設定頻率(F),無法顯示（70）,0：顯示設定頻率(F)\n"
              "P00.02,監看變數LPF時間,9,9,6\n"
              "P01.06,起動轉速,12.34,,0.00\n"
              "P01.24,跳躍頻率1,,15.00,0.00\n"
              "P03.01,加速時間1,5.55,,10.00\n"
              "P05.03,M0一般功能設定,,\"37：單擊自動運轉(啟動/停止,鍵盤STOP鍵有效)\",0：無功能\n");
}

// The drive's column holds the pages read from the drive only: a file loaded into the editor
// makes its pages present but does not make them the drive's, and the pages read stay the
// drive's after the load made them absent from the editor.
TEST_F(ParameterCompare, TheDriveSetHoldsThePagesReadNotThePagesLoaded) {
    core.applyLoad(file.load);
    const ParameterSet driveValues = driveSet(core);
    for (int page = 0; page < kFilePageCount; ++page)
        EXPECT_EQ(driveValues.load.pages[page], page == 0 || page == 1 || page == 5) << page;
    EXPECT_EQ(valueIn(driveValues, 2)->shown, "9");
    EXPECT_EQ(valueIn(driveValues, 97)->shown, "5.55");
    // The editor now holds the file's pages.
    const ParameterSet editorValues = workingSet(core);
    for (int page = 0; page < kFilePageCount; ++page)
        EXPECT_EQ(editorValues.load.pages[page], page == 0 || page == 2 || page == 7) << page;
}

}  // namespace
