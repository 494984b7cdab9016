// Parameter files through the editor's core, against the simulated drive on the virtual clock:
// what a save takes from the pages read, what a load marks and shows, and that a load with a
// fault or a field it cannot show leaves nothing half-changed.

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

TEST_F(EditorFiles, AnOnlineSaveHoldsThePagesReadWithTheWorkingValuesOfFieldlessRegisters) {
    connect(Framing::Ascii);
    for (int reg = 0; reg <= 22; ++reg) drive.setReg(reg, static_cast<std::uint16_t>(reg % 3));
    drive.setReg(14, 77);  // no field: the drive's value is not the file's
    drive.setReg(5, static_cast<std::uint16_t>(-5));
    EXPECT_EQ(core.fileText(false), "");
    ASSERT_TRUE(core.readPage(0).ok());
    core.takeShown(core.showPage(0));
    EXPECT_EQ(core.fileText(false), lines(0, 22, [](int reg) {
                  return reg == 5 ? -5 : (reg == 14 || reg == 15) ? 0 : reg % 3;
              }));
}

TEST_F(EditorFiles, AnOfflineSaveHoldsEveryRegisterFromTheDefaults) {
    core.beginVisit(nullptr, Framing::Ascii);
    core.convert(EditorCore::offlineFields());
    const std::string text = core.fileText(true);
    const ParameterFileLoad back = parseParameterFile(text);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 549);
    EXPECT_EQ((std::vector{*back.values[2], *back.values[3], *back.values[97], *back.values[496],
                           *back.values[497], *back.values[14], *back.values[548]}),
              (std::vector<std::int32_t>{6, 10000, 1000, 1, 1, 0, 0}));
}

// Every page read from a drive holding awkward values, saved, loaded and saved again.
TEST_F(EditorFiles, SaveLoadSaveGivesTheSameBytesWithTheSameDecimalsCopy) {
    connect(Framing::Rtu);
    for (auto [reg, value] : {std::pair{96, 1},
                              {97, 1234},
                              {229, 0},
                              {230, 150},
                              {115, -5},
                              {3, 60000},
                              {0, 0xFFFF},
                              {1, 99},
                              {497, 50},
                              {471, 3}})
        drive.setReg(reg, static_cast<std::uint16_t>(value));
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

TEST_F(EditorFiles, ALoadMarksTheFilesPagesAndShowsTheirFieldsAsAPageRead) {
    connect(Framing::Ascii);
    core.copies().pidDecimals = 2;
    ASSERT_TRUE(core.readPage(0).ok());
    ASSERT_TRUE(core.readPage(29).ok());
    const std::string all = lines(0, 548, [](int) { return 0; });
    const std::map<int, std::string> values = {
        {0, "-1"},  {1, "99"},    {3, "60000"},   {23, "5"},  {96, "1"},    {97, "1000"},
        {229, "1"}, {230, "150"}, {440, "12345"}, {497, "3"}, {498, "1152"}};
    // clang-format off
    const struct { std::string file; std::vector<int> pages; int reg; const char* shown; bool marked; } cases[] = {
        {lines(25, 48, [](int) { return 1; }), {1}, 25, "#1", false},
        {changed(all, values), span(0, 28), 0, "#-1", false},
        {changed(all, values), span(0, 28), 1, "unchanged", true},
        {changed(all, values), span(0, 28), 3, "60000", false},
        {changed(all, values), span(0, 28), 97, "100.0", false},
        {changed(all, values), span(0, 28), 230, "150", false},
        {changed(all, {{229, "0"}, {230, "150"}}), span(0, 28), 230, "15.0", false},
        {changed(all, values), span(0, 28), 440, "123.45", false},
        {changed(all, values), span(0, 28), 497, "#3", false},
        {changed(all, values), span(0, 28), 498, "unchanged", true},
        {changed(all, values), span(0, 28), 23, "no field", false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reg);
        const Views views = load(c.file);
        EXPECT_EQ(presentPages(), c.pages);
        const FieldView* view = viewOf(views, c.reg);
        EXPECT_EQ(view ? shown(view->display) : "no field", c.shown);
        EXPECT_EQ(core.unshown(c.reg), c.marked);
        if (view)
            EXPECT_EQ(view->unshowable, c.marked);
    }
    // Only the pages in the file are present: the others are read from the drive again.
    load(cases[0].file);
    record.clear();
    EXPECT_EQ(core.readPage(1).kind, PageReadOutcome::Kind::AlreadyPresent);
    EXPECT_EQ(core.readPage(0).kind, PageReadOutcome::Kind::Read);
    EXPECT_EQ(record.reads(), span(0, 22));
}

TEST_F(EditorFiles, ALoadChangesNoValueAndAFileWithAFaultChangesNothingAtAll) {
    connect(Framing::Ascii);
    drive.setReg(1, 99);  // P00.01 cannot show it: marked
    ASSERT_TRUE(core.readPage(0).ok());
    ASSERT_TRUE(core.readPage(5).ok());
    core.takeShown(core.showPage(0));
    core.working()[2] = 9;
    const EditorCore before = core;
    const std::string sound = lines(0, 22, [](int) { return 4; });
    for (const std::string& bad :
         {changed(sound, {{2, "x"}}), sound + "P549 1\r\n", std::string("PX 7\r\n") + sound}) {
        EXPECT_TRUE(load(bad).empty());
        EXPECT_EQ(core.pageFlags(), before.pageFlags());
        EXPECT_EQ(core.working(), before.working());
        EXPECT_TRUE(core.unshown(1));
        EXPECT_EQ(core.fileText(false), before.fileText(false));
    }
    // A sound file: the field shows the file's value and no longer the drive's mark, but the
    // working, drive and copied values wait for the next conversion.
    EXPECT_EQ(load(sound).size(), 21u);
    EXPECT_EQ(presentPages(), std::vector<int>{0});
    EXPECT_FALSE(core.unshown(1));
    EXPECT_EQ(core.working(), before.working());
    EXPECT_EQ(core.driveValues(), before.driveValues());
    EXPECT_EQ(core.copies().pidDecimals, before.copies().pidDecimals);
    // A load's unshowable value is kept for the save, though the field holds another.
    load(changed(sound, {{1, "-7"}}));
    EXPECT_TRUE(core.unshown(1));
    EXPECT_NE(core.fileText(false).find("P1 -7\r\n"), std::string::npos);
}

}  // namespace
