// The range checks as a write meets them, and the texts a field refuses.

#include <algorithm>

#include "editor/CoreFixture.h"
#include "texts/CheckTexts.h"

using namespace velorin;
using namespace velorin::test;

namespace {

std::vector<std::string> messages(const std::vector<CheckFailure>& failures) {
    std::vector<std::string> m;
    for (const CheckFailure& f : failures) m.push_back(checkFailureText(f));
    return m;
}

class WriteCheckTest : public CoreFixture {
protected:
    void SetUp() override { connect(Framing::Rtu); }
    // The factory drive read whole, as 讀取全部 leaves it with nothing touched.
    void readEverything() {
        core.readOpeningCopies();
        for (int page = 0; page < kPageCount; ++page) readUnchanged({page});
    }
};

// A bound from P13.34 at 40000 stays 40000 (it once became -25536 and refused every P13.04);
// the set point shows it at the two decimals of the drive's P13.35.
TEST_F(WriteCheckTest, ABoundFromARegisterAbove32767KeepsItsValue) {
    drive.setReg(470, 40000);
    core.readOpeningCopies();
    readUnchanged({22});
    for (auto [value, expected] : {std::pair{0, std::vector<std::string>{}},
                                   {40000, {}},
                                   {40001, {"P13.04 範圍不在0.00~400.00（P13.34 = 40000）。"}}}) {
        core.working()[440] = value;
        EXPECT_EQ(messages(core.checkValues()), expected) << value;
    }
}

// The factory drive fails only P15.03 (0), its own: a full write asks, a write of changes ignores.
// A range from another parameter names the numbers in force.
TEST_F(WriteCheckTest, AWriteIsHeldUpOnlyByWhatItWritesAndWhatDependsOnIt) {
    using V = std::vector<std::string>;
    const std::string p1503 = "P15.03 範圍不在3~50。";
    readEverything();
    core.working()[97] = 2000;  // P03.01 changed
    const WriteCheck factory = core.checkWrite(WriteScope::Everything);
    EXPECT_EQ(std::pair(messages(factory.failures), messages(factory.driveHeld)),
              std::pair(V{}, V{p1503}));
    const WriteCheck changed = core.checkWrite(WriteScope::ChangedOnly);
    EXPECT_TRUE(changed.failures.empty() && changed.driveHeld.empty());

    drive.setReg(382, 30);   // P09.15 and P10.15 (100.0 A) fail, as the drive holds them
    drive.setReg(91, 1000);  // P02.36 10.00 <= P02.37
    drive.setReg(92, 2000);
    const std::string p0915 = "P09.15 範圍不在0.6~4.0（P11.14 額定電流 3.0 A 的 20.0~135.0%）。";
    const std::string p1015 = "P10.15 範圍不在0.6~4.0（P11.14 額定電流 3.0 A 的 20.0~135.0%）。";
    const std::string p0236 = "P02.36 範圍不在0.00~5.00（P02.37 = 5.00）。";
    struct Case {
        const char* what;
        std::vector<std::pair<int, std::int32_t>> edits;
        V changedOnly, fullFailures, fullDriveHeld;
    } cases[] = {
        {"an unrelated change", {{97, 2000}}, {}, {}, {p0915, p1015, p1503}},
        {"the failing value written", {{261, 500}}, {p0915}, {p0915, p1015, p1503}, {}},
        {"its bound moved", {{92, 500}}, {p0236}, {p0236, p0915, p1015, p1503}, {}},
        {"brought into range", {{261, 40}}, {}, {}, {p1015, p1503}},
    };
    for (const Case& c : cases) {
        readEverything();
        for (auto [reg, value] : c.edits) core.working()[reg] = value;
        EXPECT_EQ(messages(core.checkWrite(WriteScope::ChangedOnly).failures), c.changedOnly)
            << c.what;
        const WriteCheck full = core.checkWrite(WriteScope::Everything);
        EXPECT_EQ(messages(full.failures), c.fullFailures) << c.what;
        EXPECT_EQ(messages(full.driveHeld), c.fullDriveHeld) << c.what;
    }
}

TEST_F(WriteCheckTest, AFullWriteLeavesOutTheValuesTheTechnicianLetStand) {
    readEverything();
    core.leaveOut({499});
    EXPECT_TRUE(core.writeToDrive(link, {}).complete());
    const Writes sent = writes();
    const auto count = [&](int reg) { return std::ranges::count(sent, reg, &Writes::value_type::first); };
    EXPECT_EQ(std::pair(count(499), count(97)), std::pair(0L, 1L));
}

TEST(FieldRefusal, TextsNoFieldTakesAreMarkedAndNamed) {
    EditorCore core;
    core.beginVisit(nullptr, Framing::Ascii);
    core.fieldsShown(EditorCore::offlineFields());
    const struct {
        int reg;
        const char* text;
        int decimals;
        const char* range;  // empty: taken
    } cases[] = {
        // Other texts of each kind are the conversion table's (Conversion.FieldsByKind).
        {3, "abc", 0, "0~65535"},
        {10, "12.345", 2, "0.00~655.35"},
        {115, "-12.50", 0, ""},
        {3, "", 0, ""},
    };
    for (const auto& c : cases) {
        core.fieldsShown(EditorCore::offlineFields());
        core.fieldContentIs(c.reg, {-1, c.text});
        const bool refused = *c.range != 0;
        EXPECT_EQ(core.marks(c.reg).refused, refused) << c.text;
        std::vector<FieldRefusal> expected;
        if (refused)
            expected.push_back({c.reg, c.decimals, c.range, c.text});
        EXPECT_EQ(core.refusedFields(), expected) << c.text;
    }
}

}  // namespace
