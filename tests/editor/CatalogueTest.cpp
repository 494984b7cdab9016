// The catalogue against figures stated apart from the per-register tables: fields, counts,
// pages, codes, places and option lists. The register ranges of the pages and the drop-down
// widths are data the catalogue only reads; they are not written out again here.

#include <map>

#include "TestData.h"

namespace velorin::editortest {
namespace {

// Which rule each field shows by is the display test's, against its own table.
TEST(Catalogue, FieldsKindsAndAccess) {
    EXPECT_TRUE(cat().dataErrors().empty()) << cat().dataErrors().front();
    std::map<FieldKind, int> kinds;
    std::vector<int> hidden, disabled, locked;
    for (const auto& p : cat().parameters()) {
        if (p.access != Access::Editable)
            (p.access == Access::Locked ? locked : disabled).push_back(p.reg);
        if (!p.shown) {
            hidden.push_back(p.reg);
            continue;
        }
        ++kinds[p.kind];
        // A choice field is exactly one shown by position, except P17.24.
        EXPECT_EQ(p.kind == FieldKind::Choice, p.display == DisplayRule::Position && p.reg != 562)
            << p.code;
    }
    EXPECT_EQ(hidden, registerSet("without-field"));
    EXPECT_EQ(kinds[FieldKind::Choice], 105);
    EXPECT_EQ(kinds[FieldKind::Number] + kinds[FieldKind::NumberWithList], 396);
    EXPECT_EQ(disabled, registerSet("disabled"));
    EXPECT_EQ(locked, registerSet("locked"));
}

TEST(Catalogue, PageTable) {
    const auto table = rows("pages.tsv");
    ASSERT_EQ(table.size(), static_cast<std::size_t>(kPageCount));
    for (const auto& row : table) {
        const PageInfo& page = cat().page(std::stoi(row[0]));
        SCOPED_TRACE(row[1]);
        EXPECT_EQ(page.caption, row[1]);
        ASSERT_EQ(page.fields.size(), std::stoul(row[2]));
        EXPECT_EQ(cat().parameter(page.fields.front()).code, row[3]);
        EXPECT_EQ(cat().parameter(page.fields.back()).code, row[4]);
        // The read range holds the page's fields, in order, and registers without any field.
        std::vector<int> fields, fieldless;
        for (int r = page.read.first; r <= page.read.last; ++r)
            (cat().parameter(r).shown ? fields : fieldless).push_back(r);
        EXPECT_EQ(fields, page.fields);
        EXPECT_EQ(fieldless, registers(row[5]));
        for (int r : page.fields) EXPECT_EQ(cat().parameter(r).page, page.index) << r;
    }
}

TEST(Catalogue, CodesLabelsAndPlaces) {
    for (int r = 0; r < kRegisterCount; ++r) {
        EXPECT_EQ(Catalogue::codeOf(r), codeByBases(r));
        EXPECT_EQ(Catalogue::registerOf(codeByBases(r)), r);
    }
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
    // An option's number is its position (P00.01's numbers jump to 26-33 and 60): a dropped or
    // doubled option shows.
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
    for (const auto& row : rows("option_lists.tsv")) {
        for (int r : registers(row[0])) {
            const auto t = texts(r);
            EXPECT_EQ(t.size(), std::stoul(row[1])) << r;
            EXPECT_TRUE(t.empty() || Row({t.front(), t.back()}) == Row(row.begin() + 2, row.end()))
                << r;
        }
    }
    // Runs of blanks and the full-width tilde survive.
    EXPECT_EQ(texts(1)[1], "1：輸入端子(I  M9M8  M7M6  M5M4  M3M2  M1M0)");
    EXPECT_EQ(texts(27)[0], "0：VIN:類比信號0V～10V輸入");
}

}  // namespace
}  // namespace velorin::editortest
