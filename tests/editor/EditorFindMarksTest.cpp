// The editor core beside the values; the parameter file, and a backup's sidecar and its verdicts.

#include <map>

#include "editor/BackupSidecar.h"
#include "editor/CoreFixture.h"
#include "editor/ParameterFile.h"
#include "editor/ParameterFind.h"
#include "editor/ParameterSets.h"
#include "model/Sha256.h"
#include "texts/CheckTexts.h"

using namespace velorin;
using namespace velorin::test;

namespace {

TEST(FindParameters, CodesInEveryWrittenFormRegistersAndNameParts) {
    for (const char* query : {"P09.15", "09.15", "9.15", "p9.15", "  P09.15 ", "#261",
                              "IM1 額定線電流", "im1額定線電流"})
        EXPECT_EQ(findParameters(query), std::vector<int>{261}) << query;
    const std::pair<const char*, std::vector<int>> cases[] = {
        {"P17.24", {562}},
        // P09.01 itself first, then the codes it begins.
        {"P09.1", {247, 256, 257, 258, 259, 260, 261, 262, 263, 264, 265}},
        {"p15", {496, 497, 498, 499, 500, 501, 502}},
        // In one piece first, then with a character between, each in register order.
        {"額定電流", {382, 261, 322, 508}},
        {"avi +10", {118}}};
    for (const auto& [query, expected] : cases) EXPECT_EQ(findParameters(query), expected) << query;
    // No field, beyond the register range, beyond the groups, no such name, nothing typed.
    for (const char* query :
         {"9.15.", "#14", "#563", "#", "P18.00", "P00.14", "變頻機不存在", "", "   "})
        EXPECT_TRUE(findParameters(query).empty()) << query;
}

class Marks : public CoreFixture {
protected:
    void SetUp() override { connect(Framing::Ascii); }
    void read(int page) {
        core.setPagePresent(page, false);
        ASSERT_TRUE(core.readPage(page).ok());
        core.showPage(page);
    }
    void type(int reg, const char* text) { core.fieldContentIs(reg, {-1, text}); }
    void pick(int reg, int position) { core.fieldContentIs(reg, {position, {}}); }
    std::array<FieldContent, kRegisterCount> contents() {
        std::array<FieldContent, kRegisterCount> c{};
        for (int reg = 0; reg < kRegisterCount; ++reg) c[reg] = core.fieldContent(reg);
        return c;
    }
    static FieldMarks m(bool changed, bool notFactory) { return {changed, notFactory, false}; }
    using Values = std::vector<std::pair<int, int>>;
    void set(const Values& values) {
        for (auto [reg, value] : values) core.working()[reg] = value;
    }
};

TEST_F(Marks, ChangedAndFactoryMarksThroughReadEditWriteAndReadAgain) {
    drive.setReg(2, 7);  // P00.02, factory 6
    read(0);
    EXPECT_EQ(std::tuple(core.marks(2), core.marks(3), core.pageChanged(0)),
              std::tuple(m(false, true), m(false, false), false));
    // As typed: another value, the same value written otherwise, the factory value.
    const std::tuple<int, const char*, FieldMarks> typed[] = {
        {2, "9", m(true, true)},    {2, " 7 ", m(false, true)}, {2, "6", m(true, false)},
        {10, "0.5", m(true, true)}, {10, "0", m(false, false)}, {10, "0.00", m(false, false)}};
    for (const auto& [reg, text, marks] : typed) {
        type(reg, text);
        EXPECT_EQ(core.marks(reg), marks) << reg << " '" << text << "'";
    }
    pick(0, 1);
    EXPECT_EQ(std::tuple(core.marks(0), core.pageChanged(0), core.pageChanged(1)),
              std::tuple(m(true, true), true, false));
    // A write the drive confirms clears "changed"; P00.00 is not confirmed and stays changed.
    core.convert(contents());
    drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 0}, 20);
    core.writeToDrive(link, {});
    EXPECT_EQ(std::tuple(core.marks(2), core.marks(0), core.pageChanged(0)),
              std::tuple(m(false, false), m(true, true), true));
    // Read again, the page shows what the drive holds: nothing is changed.
    drive.clearFaults();
    clock.advance(std::chrono::seconds(2));  // the line settles
    read(0);
    EXPECT_EQ(std::tuple(drive.reg(2), core.marks(0), core.pageChanged(0)),
              std::tuple(6, m(false, drive.reg(0) != 0), false));
    // A page not read shows nothing and has no marks.
    type(25 + 6, "1.00");
    EXPECT_EQ(core.marks(31), m(false, false));
}

TEST_F(Marks, ALoadedFileIsWhatChangesAreCountedFromAndUnknownFieldsCarryNoOtherMark) {
    read(0);
    takeShownValues(0);
    std::string file = core.fileText(false);
    file.replace(file.find("\nP2 6\r"), 6, "\nP2 8\r");
    const ParameterFileLoad load = parseParameterFile(file);
    ASSERT_TRUE(load.ok());
    core.applyLoad(load);
    EXPECT_EQ(core.marks(2), m(false, true));
    type(2, "6");
    EXPECT_EQ(core.marks(2), m(true, false));
    // A list position the field lacks cannot be shown; picking one counts as a change.
    drive.setReg(25, 99);
    read(1);
    EXPECT_EQ(core.marks(25), (FieldMarks{false, false, true}));
    pick(25, 0);
    core.fieldEdited(25);
    EXPECT_EQ(core.marks(25), m(true, false));
    // Offline the fields start at the factory values.
    core.beginVisit(nullptr, Framing::Ascii);
    core.fieldsShown(EditorCore::offlineFields());
    EXPECT_EQ(core.marks(2), m(false, false));
    type(2, "5");
    EXPECT_EQ(core.marks(2), m(true, true));
}

TEST_F(Marks, TheRangeInForceForFixedUnitAndDependentBounds) {
    core.readOpeningCopies();
    for (int page : {0, 4, 5, 12}) read(page);
    core.copies().ratedCurrent = 101;
    EXPECT_EQ((std::vector{rangeText(core.rangeInForce(2)), rangeText(core.rangeInForce(0)), rangeText(core.rangeInForce(97))}),
              (std::vector<std::string>{"0~13", "", "0.00~600.00"}));
    pick(96, 1);  // the ramp unit as the field now shows it
    EXPECT_EQ(rangeText(core.rangeInForce(97)), "0.0~6000.0");
    type(92, "12.34");  // P02.37 bounds P02.36
    EXPECT_EQ(rangeText(core.rangeInForce(91)), "0.00~12.34（P02.37 = 12.34）");
    // 101 x 0.2 = 20.2 and 101 x 1.35 = 136.35: raw 21 to 136 pass.
    EXPECT_EQ(rangeText(core.rangeInForce(261)), "2.1~13.6（P11.14 額定電流 10.1 A 的 20.0~135.0%）");
    core.copies().ratedCurrent.reset();
    EXPECT_EQ(rangeText(core.rangeInForce(261)), "20.0~135.0%");
    const FieldFacts facts = core.fieldFacts(2);
    EXPECT_EQ(std::tuple(rangeText(facts.range), facts.factory, facts.given, facts.fromFile, facts.shown, facts.raw),
              std::tuple("0~13", std::optional<std::string>("6"), true, false,
                         std::optional<std::string>("6"), 6));
    EXPECT_EQ(core.fieldFacts(0).factory, "0：顯示設定頻率(F)");
}

TEST_F(Marks, TheVfCurveFollowsTheFieldsAndMarksFrequenciesOutOfOrder) {
    read(12);
    // fe0/V0 ... fe4/V4 as typed, fe2 above fe3, and the point each pair makes.
    using Point = std::tuple<std::optional<double>, std::optional<double>, bool, int, int>;
    // clang-format off
    const std::tuple<const char*, const char*, Point> typed[] = {
        {"0.50", "2.0", {0.5, 2, false, 256, 257}},   {"3.00", "10.0", {3, 10, false, 254, 255}},
        {"60.00", "220.0", {60, 220, true, 252, 253}}, {"2.00", "230.0", {2, 230, true, 250, 251}},
        {"", "230.0", {std::nullopt, 230, false, 248, 249}}};
    // clang-format on
    std::vector<Point> expected, curve;
    for (const auto& [frequency, voltage, point] : typed) {
        type(std::get<3>(point), frequency);
        type(std::get<4>(point), voltage);
        expected.push_back(point);
    }
    for (const VfPoint& p : core.vfCurve(12))
        curve.emplace_back(p.frequency, p.voltage, p.outOfOrder, p.frequencyReg, p.voltageReg);
    EXPECT_EQ(curve, expected);
    EXPECT_EQ(std::pair(core.vfCurve(15).front().frequencyReg, core.vfCurve(13).size()),
              std::pair(317, std::size_t{0}));
}

TEST_F(Marks, ErP1ForTerminalsSharingAFunctionErP2AndErP3ForVfFrequenciesOutOfOrder) {
    for (int page : {7, 12, 15}) core.setPagePresent(page, true);
    const auto inOrder = [this] {
        set({{256, 100}, {254, 200}, {252, 300}, {250, 400}, {248, 500}});
        set({{317, 100}, {315, 200}, {313, 300}, {311, 400}, {309, 500}});
    };
    const std::pair<Values, std::vector<DriveWarning>> cases[] = {
        {{}, {}},
        {{{149, 0}, {150, 0}}, {}},  // "0：無功能" on two terminals is no warning
        {{{149, 1}, {152, 1}, {158, 3}}, {{"ErP1", {149, 152}, 0, {"1：運轉許可"}}}},
        {{{254, 100}}, {}},  // fe0 = fe1
        {{{256, 300}}, {{"ErP2", {256, 254}, 0, {"3.00", "2.00"}}}},
        {{{248, 399}}, {{"ErP2", {250, 248}, 3, {"4.00", "3.99"}}}},
        {{{313, 201}, {311, 200}}, {{"ErP3", {313, 311}, 2, {"2.01", "2.00"}}}},
    };
    for (const auto& [values, expected] : cases) {
        for (int reg = 149; reg <= 158; ++reg) core.working()[reg] = 0;
        inOrder();
        set(values);
        EXPECT_EQ(core.driveWarnings(), expected);
    }
    // Only pages the write takes are looked at.
    inOrder();
    set({{256, 300}});
    core.setPagePresent(12, false);
    EXPECT_TRUE(core.driveWarnings().empty());
}

TEST_F(Marks, AFactoryResetIsPendingOnlyForAChangedValueFrom2To7) {
    core.copies().lockReset = 0;
    set({{546, 2}});
    EXPECT_FALSE(core.resetPending());  // page P17-1 not present: not written
    core.setPagePresent(28, true);
    for (int value : {0, 1, 8, -1, 2, 7}) {
        set({{546, value}});
        const bool resets = value == 2 || value == 7;
        EXPECT_EQ(core.resetPending(), resets ? std::optional(value) : std::nullopt) << value;
    }
    core.copies().lockReset = 7;  // the drive holds it already: not written again
    EXPECT_FALSE(core.resetPending());
}

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
TEST_F(Marks, TwoToFourSetsShowWhatDiffersWhereTheSetsHoldIt) {
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

using Values = std::array<std::int32_t, kRegisterCount>;
using Flags = std::array<std::int16_t, kPageCount + 1>;

Flags pages(std::initializer_list<int> present) {
    Flags flags{};
    for (int p : present) flags[p] = 1;
    return flags;
}

// The lines "P<reg> 0" for first..last.
std::string file(int first, int last) {
    std::string text;
    for (int reg = first; reg <= last; ++reg) text += "P" + std::to_string(reg) + " 0\r\n";
    return text;
}

TEST(ParameterFile, SaveWritesThePresentPagesOrEveryRegisterOffline) {
    Values value{};
    value[5] = -5;
    const std::pair<std::string, std::string> cases[] = {
        {parameterFileText(value, pages({0}), false),
         "P0 0\r\n" + file(1, 4) + "P5 -5\r\n" + file(6, 22)},
        // P15 keeps 496-502 and P17-1 538-548; page 29 (P17.24) is never saved.
        {parameterFileText(value, pages({28, 25, 29}), false), file(496, 502) + file(538, 548)},
        {parameterFileText(value, pages({}), false), ""},
        {parameterFileText(value, pages({}), true), file(0, 4) + "P5 -5\r\n" + file(6, 548)},
    };
    for (const auto& [saved, expected] : cases) EXPECT_EQ(saved, expected);  // CR LF after each
}

TEST(ParameterFile, SaveLoadSaveThroughTheFieldsGivesTheSameBytes) {
    Values factory{};
    valueConvert(factoryFields(), factory, 0);
    Values edited = factory;
    const std::pair<int, int> edits[] = {{96, 1},      {97, 5},  {229, 1}, {230, 150},
                                         {440, 12345}, {497, 4}, {0, -1},  {3, 60000}};
    for (auto [reg, raw] : edits) edited[reg] = raw;
    for (const auto& [value, flag471] : {std::pair{&factory, 0}, {&edited, 3}}) {
        for (const bool offline : {false, true}) {
            Flags all;
            all.fill(1);
            const std::string saved = parameterFileText(*value, all, offline);
            const ParameterFileLoad load = parseParameterFile(saved);
            ASSERT_TRUE(load.ok());
            // As the editor loads: each field of a held page shows its value, then converts.
            std::array<FieldContent, kRegisterCount> fields{};
            const DisplayContext context = loadDisplayContext(load, flag471);
            for (int reg = 0; reg < kFileRegisterCount; ++reg) {
                const ParameterInfo& p = Catalogue::instance().parameter(reg);
                if (!p.shown || !heldRange(p.page).contains(reg))
                    continue;
                const Display shown = loadedDisplay(reg, *load.values[reg], context);
                if (auto* select = std::get_if<SelectPosition>(&shown))
                    fields[reg].selected = select->position;
                else
                    fields[reg].text = std::get<ShowText>(shown).text;
            }
            // P13.04 converts at the P13.35 the file brings with page P13-2, as it is shown.
            Values back{};
            valueConvert(fields, back, context.pidDecimals);
            EXPECT_EQ(parameterFileText(back, all, offline), saved) << "offline " << offline;
        }
    }
}

TEST(Sha256, StandardVectors) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the last block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [bytes, hex] : cases) EXPECT_EQ(sha256Hex(bytes), hex) << bytes.size();
}

const std::string kFile = "P0 1\r\nP1 2\r\n";

BackupSidecar sidecarOf(const std::string& file, std::optional<std::int32_t> model = 101) {
    return {model,          3, "19200,E,8,1", "2026-12-08T09:30:00+08:00", 1210, "velorin-cli 1.0",
            sha256Hex(file)};
}

TEST(BackupSidecar, ReadBackAsWrittenAndNothingElse) {
    for (const BackupSidecar& s : {sidecarOf(kFile), sidecarOf("", std::nullopt)})
        EXPECT_EQ(parseSidecar(sidecarText(s)), s);
    const std::string hash = "\"sha256\":\"" + sha256Hex(kFile) + "\"";
    const std::pair<std::string, bool> cases[] = {
        {"{" + hash + ",\"station\":1,\"link\":\"x\"}", true},
        {"{" + hash + ",\"added\":\"later\"}", true},  // members of a later program
        {"{" + hash + ",\"model\":\"101\"}", false},   // a number as text
        {"{" + hash + ",\"model\":{\"a\":1}}", false},
        {"{" + hash + ",\"model\":1,\"model\":2}", false},
        {"{\"sha256\":\"" + sha256Hex(kFile).substr(1) + "\"}", false},
        {"{\"sha256\":\"" + std::string(64, 'A') + "\"}", false},
        {"{" + hash + "} trailing", false},
        {"", false},
        {"[]", false},
    };
    for (const auto& [text, read] : cases) EXPECT_EQ(parseSidecar(text).has_value(), read) << text;
}

TEST(BackupSidecar, VerdictsBeforeARestore) {
    using V = SidecarVerdict;
    const std::string side = sidecarText(sidecarOf(kFile));
    const struct {
        const char* what;
        std::string file;
        std::optional<std::string> sidecar;
        std::optional<std::int32_t> driveModel;
        V verdict;
    } cases[] = {
        {"no sidecar", kFile, std::nullopt, 101, V::None},
        {"as written, same model", kFile, side, 101, V::Matches},
        {"offline: the model is not known", kFile, side, std::nullopt, V::Matches},
        {"another model", kFile, side, 102, V::OtherModel},
        {"a line edited", "P0 1\r\nP1 3\r\n", side, 101, V::Altered},
        {"edited and another model: the file is judged first", "P0 9\r\n", side, 102, V::Altered},
        {"a sidecar that is not ours", kFile, std::string("{\"sha256\": 5}"), 101, V::Unreadable},
    };
    for (const auto& c : cases) {
        const SidecarCheck check = checkSidecar(c.file, c.sidecar, c.driveModel);
        EXPECT_EQ(check.verdict, c.verdict) << c.what;
        EXPECT_EQ(check.sidecar.has_value(), c.sidecar && c.verdict != V::Unreadable) << c.what;
    }
}

}  // namespace
