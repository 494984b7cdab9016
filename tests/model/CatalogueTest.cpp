// The catalogue against what it works out itself: codes, labels, places, option numbering.

#include "editor/TestData.h"

namespace velorin::editortest {
namespace {

// The data files parse, and a choice field is exactly one shown by position.
TEST(Catalogue, DataParsesAndChoicesShowByPosition) {
    EXPECT_TRUE(cat().dataErrors().empty()) << cat().dataErrors().front();
    for (const auto& p : cat().parameters())  // P17.24 shows by position in a box with a list
        EXPECT_TRUE(!p.shown || (p.kind == FieldKind::Choice) ==
                                    (p.display == DisplayRule::Position && p.reg != 562))
            << p.code;
}

TEST(Catalogue, CodesLabelsAndPlaces) {
    for (int r = 0; r < kRegisterCount; ++r)
        EXPECT_EQ(Catalogue::registerOf(Catalogue::codeOf(r)), r);
    std::vector<std::string> codes;
    for (int r : {0, 24, 25, 380, 562}) codes.push_back(Catalogue::codeOf(r));
    EXPECT_EQ(codes, (std::vector<std::string>{"P00.00", "P00.24", "P01.00", "P11.12", "P17.24"}));
    // Group ends: P00 runs to P00.24, P17 to P17.24.
    for (const char* bad : {"P00.25", "P17.25", "P18.00", "P2.24", "P0a.00", "X00.00", ""})
        EXPECT_FALSE(Catalogue::registerOf(bad)) << bad;
    for (const auto& p : cat().parameters())  // page 4 writes its group with one digit
        EXPECT_TRUE(!p.shown ||
                    p.label == (p.page == 4 ? "P" + p.code.substr(2) : p.code) + "：" + p.name)
            << p.reg;
    for (const auto& row : rows("places.tsv")) {
        const auto& p = cat().parameter(std::stoi(row[0]));
        std::vector<std::string> got;
        for (int v : {p.reg, p.page, p.place.column, p.place.row, p.place.labelX, p.place.fieldX,
                      p.place.y})
            got.push_back(std::to_string(v));
        EXPECT_EQ(got, row);
    }
}

std::vector<std::string> texts(int reg) {
    const auto options = cat().options(reg);
    return {options.begin(), options.end()};
}

TEST(OptionLists, ListsNumberedByPosition) {
    // An option's number is its position (P00.01's jump to 26-33 and 60).
    std::vector<int> p0001;
    for (const auto& p : cat().parameters()) {
        const bool takesList = p.kind == FieldKind::Choice || p.kind == FieldKind::NumberWithList;
        EXPECT_EQ(p.list >= 0, takesList) << p.reg;
        const auto options = texts(p.reg);
        for (int i = 0; i < static_cast<int>(options.size()) && p.reg != 497; ++i) {
            const auto number = options[i].substr(0, options[i].find("："));
            if (p.reg == 1)
                p0001.push_back(std::stoi(number));
            else
                EXPECT_EQ(number, std::to_string(i)) << p.code;
        }
    }
    EXPECT_EQ(p0001, registers("0-22,26-33,60"));
    // Runs of blanks and the full-width tilde survive.
    EXPECT_EQ(texts(1)[1], "1：輸入端子(I  M9M8  M7M6  M5M4  M3M2  M1M0)");
    EXPECT_EQ(texts(27)[0], "0：VIN:類比信號0V～10V輸入");
}

}  // namespace
}  // namespace velorin::editortest
