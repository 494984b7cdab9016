// The write of the changed parameters only, on the simulated drive's write log in both framings;
// the plan and the preview a write shows before it runs.

#include <random>

#include "editor/CoreFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

class WriteChanged : public CoreFixture, public ::testing::WithParamInterface<Framing> {
protected:
    void SetUp() override { connect(GetParam()); }
};

// Only what differs goes out, in the full write's order and with its steps: a page never read
// (its drive values unknown) whole, the ramp unit with P03 read again, the station after the
// pages with the line following, both unlock codes before P17.08. Then nothing is left to send.
TEST_P(WriteChanged, OnlyWhatDiffersGoesOutWithEveryStepOfTheFullWrite) {
    for (int reg : {547, 548}) drive.setReg(reg, 0);
    for (int page : {0, 5, 25, 28}) {
        ASSERT_TRUE(core.readPage(page).ok());
        takeShownValues(page);
    }
    core.setPagePresent(2, true);
    Writes expected = {{5, core.driveValue(5) + 1}};
    for (int reg = 49; reg <= 54; ++reg) expected.emplace_back(reg, reg);
    expected.insert(expected.end(), {{96, 1}, {496, 5}, {547, 0}, {548, 0}, {546, 8}});
    for (auto [reg, value] : expected) core.working()[reg] = value;
    for (bool again : {false, true}) {
        record.clear();
        drive.clearWriteLog();
        Writes planned;
        for (const PlannedWrite& w : core.plannedWrites(WriteScope::ChangedOnly))
            planned.emplace_back(w.reg, w.value);
        EXPECT_EQ(planned, again ? Writes{} : expected);
        EXPECT_TRUE(core.writeToDrive(link, {}, WriteScope::ChangedOnly).complete());
        EXPECT_EQ(writes(), again ? Writes{} : expected);
        EXPECT_EQ(record.reads().size(), again ? 1u : 17u);  // the running check, P03 again
    }
    EXPECT_EQ(link.station, 5);
}

// Whatever the technician changed, the plan a preview is made from is what the write sends, in
// its order, for both scopes; the preview lists the registers whose drive value changes.
TEST_P(WriteChanged, ThePlanIsWhatTheWriteSends) {
    const Catalogue& catalogue = Catalogue::instance();
    std::mt19937 random(static_cast<unsigned>(GetParam() == Framing::Rtu ? 7 : 11));
    const std::vector<int> pages = {0, 2, 5, 11, 17, 25, 28};
    for (int page : pages) ASSERT_TRUE(core.readPage(page).ok());
    for (int round = 0; round < 40; ++round) {
        for (int page : pages) takeShownValues(page);
        std::vector<int> edited;
        for (int n = 0; n < 4; ++n) {
            const auto& fields = catalogue.page(pages[random() % pages.size()]).fields;
            const int reg = fields[random() % fields.size()];
            if (reg == 497 || reg == 498)  // a rate or format change moves the line
                continue;
            core.working()[reg] += 1 + static_cast<int>(random() % 3);
            edited.push_back(reg);
        }
        for (WriteScope scope : {WriteScope::Everything, WriteScope::ChangedOnly}) {
            SCOPED_TRACE(::testing::Message() << "round " << round << " scope "
                                              << static_cast<int>(scope));
            Writes planned, rehearsed;
            for (const PlannedWrite& w : core.plannedWrites(scope)) planned.emplace_back(w.reg, w.value);
            const WritePreview preview = core.previewWrite(scope);
            std::vector<int> changed;
            for (const auto& change : preview.changes) changed.push_back(change.reg);
            WriteHooks hooks;
            hooks.rehearse = [&](int reg, std::uint16_t word) {
                rehearsed.emplace_back(reg, EditorCore::driveValueOf(reg, word));
            };
            const DriveCopies copies = core.copies();
            core.writeToDrive(link, hooks, scope);
            core.copies() = copies;
            EXPECT_EQ(planned, rehearsed);
            EXPECT_EQ(preview.changes.size() + preview.unchanged, planned.size());
            for (int reg : changed)
                EXPECT_NE(std::find(edited.begin(), edited.end(), reg), edited.end()) << reg;
        }
    }
}

// The preview shows both values as the fields do, and a value never read as such.
TEST_P(WriteChanged, ThePreviewShowsTheDriveValueAndTheNewOne) {
    ASSERT_TRUE(core.readPage(2).ok());
    takeShownValues(2);
    const int reg = Catalogue::instance().page(2).fields.front();
    const std::string before = shownOnPage(2, reg);
    core.working()[reg] += 100;
    core.setPagePresent(3, true);  // a page the editor holds from a file: never read
    takeShownValues(3);
    const WritePreview preview = core.previewWrite(WriteScope::Everything);
    ASSERT_FALSE(preview.changes.empty());
    EXPECT_EQ(preview.changes.front().reg, reg);
    EXPECT_EQ(preview.changes.front().before, before);
    EXPECT_NE(preview.changes.front().after, before);
    for (size_t i = 1; i < preview.changes.size(); ++i)
        EXPECT_EQ(preview.changes[i].before, std::nullopt) << preview.changes[i].reg;
    EXPECT_GT(preview.unchanged, 0);
}

INSTANTIATE_TEST_SUITE_P(Framings, WriteChanged, ::testing::Values(Framing::Ascii, Framing::Rtu));

}  // namespace
