// Parameter files through the editor's core without fields, as the command line uses it, against
// the simulated drive on the virtual clock: a backup of every page that loads back to the same
// bytes, and what the core keeps of a load.

#include <functional>
#include <map>

#include "editor/CoreFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

using Views = std::vector<FieldView>;

// "P<reg> <value>\r\n" for first..last, the values from `value`.
std::string lines(int first, int last, const std::function<std::int32_t(int)>& value) {
    std::string text;
    for (int reg = first; reg <= last; ++reg)
        text += "P" + std::to_string(reg) + " " + std::to_string(value(reg)) + "\r\n";
    return text;
}

// The file with the lines of `changed` put in place of those it had.
std::string changed(std::string file, const std::map<int, std::string>& values) {
    for (const auto& [reg, value] : values) {
        const std::string head = "P" + std::to_string(reg) + " ";
        std::size_t at = file.rfind("\n" + head);
        at = file.starts_with(head) ? 0 : at + 1;
        file.replace(at, file.find("\r\n", at) - at, head + value);
    }
    return file;
}

const FieldView* viewOf(const Views& views, int reg) {
    for (const FieldView& v : views)
        if (v.reg == reg)
            return &v;
    return nullptr;
}

class EditorFiles : public CoreFixture {
protected:
    // Every page read from the drive and taken as its fields show it.
    void readAll() {
        for (int page = 0; page < kFilePageCount; ++page) {
            ASSERT_TRUE(core.readPage(page).ok()) << page;
            core.takeShown(core.showPage(page));
        }
    }
    std::vector<int> presentPages() const {
        std::vector<int> present;
        for (int page = 0; page <= kPageCount; ++page)
            if (core.pagePresent(page))
                present.push_back(page);
        return present;
    }
    Views load(const std::string& bytes) { return core.applyLoad(parseParameterFile(bytes)); }
};

// Every page read from a drive holding awkward values, saved, loaded and saved again.
TEST_F(EditorFiles, SaveLoadSaveGivesTheSameBytesWithTheSameDecimalsCopy) {
    connect(Framing::Rtu);
    const std::pair<int, int> awkward[] = {{96, 1},    {97, 1234},  {229, 0}, {230, 150}, {115, -5},
                                           {3, 60000}, {0, 0xFFFF}, {1, 99},  {497, 50}};
    for (auto [reg, value] : awkward) drive.setReg(reg, static_cast<std::uint16_t>(value));
    for (std::int16_t decimals : {3, 9}) {
        drive.setReg(471, static_cast<std::uint16_t>(decimals));
        drive.setReg(440, 12345);
        core.beginVisit(session.get(), Framing::Rtu);
        core.readOpeningCopies();
        readAll();
        const std::string first = core.fileText(false);
        // The fields that cannot show the drive's value save it as the drive gave it.
        for (const char* line : {"\nP1 99\r\n", "\nP497 50\r\n", "\nP440 12345\r\n",
                                 "\nP115 -5\r\n", "\nP0 -1\r\n", "\nP3 60000\r\n"})
            EXPECT_NE(("\n" + first).find(line), std::string::npos) << line;
        for (int reg = 0; reg < kFileRegisterCount; ++reg)
            if (Catalogue::instance().parameter(reg).shown)
                core.working()[reg] = 7;
        core.takeShown(load(first));
        EXPECT_EQ(core.fileText(false), first) << "P13.35 at " << decimals;
    }
}

// What the window shows of a load is its own test; here what the core keeps of it.
TEST_F(EditorFiles, ALoadMarksOnlyTheFilesPagesAndChangesNoValueOfTheEditor) {
    connect(Framing::Ascii);
    core.copies().pidDecimals = 2;
    ASSERT_TRUE(core.readPage(0).ok());
    ASSERT_TRUE(core.readPage(29).ok());
    core.takeShown(core.showPage(0));
    const EditorCore before = core;
    const std::map<int, std::string> values = {{23, "5"},      {96, "1"},  {97, "1000"},
                                               {440, "12345"}, {497, "3"}, {498, "1152"}};
    std::string all = changed(lines(0, 548, [](int) { return 0; }), values);
    // clang-format off
    const struct { std::string file; std::vector<int> pages; int reg; const char* shown; bool marked; } cases[] = {
        {lines(25, 48, [](int) { return 1; }), {1}, 25, "#1", false},
        {all, span(0, 28), 97, "100.0", false},        // by the file's P03.00
        {all, span(0, 28), 440, "123.45", false},      // by the copy of P13.35
        {all, span(0, 28), 497, "#3", false},          // the file holds the rate's position
        {all, span(0, 28), 498, "unchanged", true},
        {all, span(0, 28), 23, "no field", false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reg);
        const Views views = load(c.file);
        EXPECT_EQ(presentPages(), c.pages);
        const FieldView* view = viewOf(views, c.reg);
        EXPECT_EQ(view ? shown(view->display) : "no field", c.shown);
        EXPECT_EQ(core.unshown(c.reg), c.marked);
        // The file's values reach the working values at the next conversion, no sooner.
        EXPECT_EQ(core.working(), before.working());
        EXPECT_EQ(core.driveValues(), before.driveValues());
        EXPECT_EQ(core.copies().pidDecimals, before.copies().pidDecimals);
    }
    // A load's unshowable value is what a save keeps, whatever the field holds.
    EXPECT_NE(core.fileText(false).find("P498 1152\r\n"), std::string::npos);
    // A file with a fault changes nothing.
    const auto flags = core.pageFlags();
    EXPECT_TRUE(load(changed(all, {{2, "x"}})).empty());
    EXPECT_EQ(core.pageFlags(), flags);
    EXPECT_TRUE(core.unshown(498));
}

}  // namespace
