// The comparison of two to four parameter sets: drive, editor, a file and the factory values.

#include <map>

#include "editor/CoreFixture.h"
#include "editor/ParameterSets.h"

using namespace velorin;
using namespace velorin::test;

namespace {

using ParameterCompare = CoreFixture;
using Shown = std::vector<std::string>;  // a code, then the text of each set ("": it lacks it)

std::vector<Shown> differingRows(const Comparison& comparison) {
    std::vector<Shown> rows;
    for (const CompareRow& row : comparison.rows)
        if (row.differs) {
            rows.push_back({Catalogue::codeOf(row.reg)});
            for (const auto& value : row.values) rows.back().push_back(comparedText(value));
        }
    return rows;
}

// The drive gave pages P00, P01-1 and P03 with three values off the factory's; the technician
// typed three others; a file holds P00, P01-2 and P05 at the factory values but for four.
TEST_F(ParameterCompare, TwoToFourSetsShowWhatDiffersWhereTheSetsHoldIt) {
    connect(Framing::Ascii);
    for (auto [reg, value] : {std::pair{2, 9}, {31, 1234}, {97, 555}}) drive.setReg(reg, value);
    readUnchanged({0, 1, 5});
    for (auto [reg, value] : {std::pair{2, 7}, {31, 50}, {97, 600}}) core.working()[reg] = value;
    const std::map<int, int> inFile = {{0, 70}, {2, 9}, {49, 1500}, {149, 37}};
    std::string text;
    for (auto [first, last] : {std::pair{0, 22}, {49, 54}, {146, 164}})
        for (int reg = first; reg <= last; ++reg)
            text += "P" + std::to_string(reg) + " " +
                    std::to_string(inFile.count(reg) ? inFile.at(reg) : factoryDriveValue(reg)) +
                    "\r\n";
    const ParameterSet file{parseParameterFile(text)};
    const EditorCore::Values working = core.working();
    const ParameterSet driveValues = driveSet(core), editorValues = workingSet(core);
    EXPECT_EQ(core.working(), working);  // the editor keeps its values

    const Shown function = {"0：無功能", "37：單擊自動運轉(啟動/停止,鍵盤STOP鍵有效)"};
    const std::string frequency = "0：顯示設定頻率(F)", noOption = "無法顯示（70）";
    const struct {
        std::vector<ParameterSet> sets;
        std::vector<Shown> differing;
        std::vector<std::size_t> missingPages;  // how many pages each set lacks
    } cases[] = {
        {{driveValues, editorValues},
         {{"P00.02", "9", "7"}, {"P01.06", "12.34", "0.50"}, {"P03.01", "5.55", "6.00"}},
         {0, 0}},
        // Only their common page P00 is told apart.
        {{file, editorValues}, {{"P00.00", noOption, frequency}, {"P00.02", "9", "7"}}, {2, 2}},
        {{driveValues, editorValues, file, factorySet()},
         {{"P00.00", frequency, frequency, noOption, frequency},
          {"P00.02", "9", "7", "9", "6"},
          {"P01.06", "12.34", "0.50", "", "0.00"},
          {"P01.24", "", "", "15.00", "0.00"},
          {"P03.01", "5.55", "6.00", "", "10.00"},
          {"P05.03", "", "", function[1], function[0]}},
         {26, 26, 26, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sets.size());
        const Comparison comparison = compareSets(c.sets);
        EXPECT_EQ(differingRows(comparison), c.differing);
        std::vector<std::size_t> missing;
        for (const auto& pages : comparison.missingPages) missing.push_back(pages.size());
        EXPECT_EQ(missing, c.missingPages);
    }

    // A file loaded into the editor makes its pages the editor's, never the drive's.
    core.applyLoad(file.load);
    for (int page = 0; page < kFilePageCount; ++page) {
        EXPECT_EQ(driveSet(core).load.pages[page], page == 0 || page == 1 || page == 5) << page;
        EXPECT_EQ(workingSet(core).load.pages[page], page == 0 || page == 2 || page == 7) << page;
    }
}

}  // namespace
