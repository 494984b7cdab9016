// Nothing written that the technician did not see, nothing shown that the drive does not hold,
// whatever the unit switches and P13.35 hold.

#include <algorithm>
#include <map>
#include <set>

#include <gmock/gmock.h>

#include "editor/CoreFixture.h"
#include "texts/CheckTexts.h"
#include "model/ValueCheck.h"

using namespace velorin;
using namespace velorin::test;

namespace {

const Catalogue& cat() {
    return Catalogue::instance();
}

// The number an option text starts with ("26：編碼器1 Z計數" is 26), else its position.
int optionNumber(int reg, int position) {
    const std::string& text = cat().options(reg)[position];
    const auto colon = text.find("：");
    if (colon == std::string::npos || colon == 0 || text.find_first_not_of("0123456789") != colon)
        return position;
    return std::stoi(text.substr(0, colon));
}

// The words a field is tried with: every option number and the one past it, nothing selected;
// the rate codes and neighbours; the ends and middle of 16 bits.
std::vector<std::uint16_t> candidates(int reg) {
    const ParameterInfo& p = cat().parameter(reg);
    std::set<std::uint16_t> words;
    if (p.display == DisplayRule::Position) {
        words = {0xFFFF, 0x7FFF};
        for (int i = 0; i < static_cast<int>(cat().options(reg).size()); ++i)
            for (int n : {optionNumber(reg, i), optionNumber(reg, i) + 1})
                words.insert(static_cast<std::uint16_t>(n));
    } else if (p.display == DisplayRule::BaudRate) {
        words = {0, 47, 48, 96, 97, 192, 384, 1152, 0xFFFF};
    } else {
        words = {0, 1, 9, 999, 12345, 0x7FFF, 0x8000, 0xFFFF};
    }
    return {words.begin(), words.end()};
}

struct State {
    int rampUnit, stepUnit, pidDecimals;
};

// Every value of P03.00, P08.03 and P13.35, and one outside each (5 and 3 as met on drives, 7).
std::vector<State> states() {
    std::vector<State> all;
    for (int ramp : {0, 1, 5})
        for (int step : {0, 1, 3})
            for (int pid : {0, 1, 2, 3, 4, 7}) all.push_back({ramp, step, pid});
    return all;
}

FieldContent contentOf(const FieldView& view) {
    FieldContent content;
    if (const auto* text = std::get_if<ShowText>(&view.display))
        content.text = text->text;
    if (const auto* position = std::get_if<SelectPosition>(&view.display)) {
        content.selected = position->position;
        if (position->position >= 0 && cat().parameter(view.reg).kind == FieldKind::NumberWithList)
            content.text = cat().options(view.reg)[position->position];
    }
    return content;
}

// What a write would send, rehearsed: nothing goes on the line.
WriteOutcome rehearse(EditorCore& core, LinkState& link, std::map<int, int>& sent) {
    WriteHooks hooks;
    hooks.rehearse = [&](int reg, std::uint16_t word) { sent[reg] = word; };
    return core.writeToDrive(link, hooks);
}

class Trust : public FramedCore {
protected:
    void readAndTake(std::initializer_list<int> pages) {
        for (int page : pages) {
            ASSERT_TRUE(core.readPage(page).ok()) << page;
            core.takeShown(core.showPage(page));
        }
    }
    // The raw word the core would write for a field's working value.
    static std::uint16_t wordOf(int reg, std::int32_t working) {
        if (reg == 497 && working >= 0 && working < 5)
            return static_cast<std::uint16_t>(*rateCodeAt(working));
        return static_cast<std::uint16_t>(working & 0xFFFF);
    }
    void check(const std::vector<FieldView>& views, EditorCore& visit, const char* path) {
        std::set<int> unshown;
        for (const FieldView& v : views) {
            if (v.unshowable)
                unshown.insert(v.reg);
            else if (cat().parameter(v.reg).conversion != ConversionKind::None)
                EXPECT_EQ(wordOf(v.reg, visit.working()[v.reg]), drive.reg(v.reg))
                    << path << ": register " << v.reg << " shown from " << drive.reg(v.reg);
        }
        std::map<int, int> sent;  // by a write that changes nothing
        rehearse(visit, link, sent);
        for (const auto& [reg, word] : sent) {
            EXPECT_FALSE(unshown.count(reg)) << path << ": " << reg << " written unseen";
            EXPECT_EQ(word, drive.reg(reg)) << path << ": register " << reg << " written changed";
        }
    }
};

TEST_P(Trust, EveryShowableValueComesBackAndNoOtherIsWritten) {
    std::vector<int> fields;
    std::size_t sets = 0;
    for (const ParameterInfo& p : cat().parameters())
        if (p.shown && p.reg != 96 && p.reg != 229 && p.reg != 471) {
            fields.push_back(p.reg);
            sets = std::max(sets, candidates(p.reg).size());
        }
    ASSERT_EQ(fields.size() + 3, 501u);
    int runs = 0;
    for (const State& state : states()) {
        // The lists are tried in full once; the other states need the numbers only.
        const bool full = state.rampUnit == 0 && state.stepUnit == 0 && state.pidDecimals == 2;
        for (std::size_t set = 0; set < (full ? sets : 8); ++set) {
            record.clear();
            for (int reg : fields) {
                const auto words = candidates(reg);
                drive.setReg(reg, words[(set + reg) % words.size()]);
            }
            drive.setReg(96, static_cast<std::uint16_t>(state.rampUnit));
            drive.setReg(229, static_cast<std::uint16_t>(state.stepUnit));
            drive.setReg(471, static_cast<std::uint16_t>(state.pidDecimals));
            SCOPED_TRACE(testing::Message()
                         << "P03.00 " << state.rampUnit << ", P08.03 " << state.stepUnit
                         << ", P13.35 " << state.pidDecimals << ", value set " << set);
            EditorCore visit;  // a fresh visit to the drive
            visit.beginVisit(session.get(), GetParam());
            visit.readOpeningCopies();
            std::vector<FieldView> views;
            for (int page = 0; page < kPageCount; ++page) {
                ASSERT_EQ(visit.readPage(page).kind, PageReadOutcome::Kind::Read);
                for (FieldView& v : visit.showPage(page)) views.push_back(std::move(v));
            }
            // As the command line takes the fields, then as the window converts them.
            visit.takeShown(views);
            check(views, visit, "taken as shown");
            std::array<FieldContent, kRegisterCount> contents{};
            for (const FieldView& v : views)
                contents[v.reg] = v.unshowable ? FieldContent{0, "1"} : contentOf(v);
            visit.convert(contents);
            check(views, visit, "converted");
            ++runs;
            if (HasFailure())
                return;
        }
    }
    EXPECT_EQ(runs, static_cast<int>(sets) + 53 * 8);
}

// An opening read lost three times marks what depends on it, never written; the report names it.
TEST_P(Trust, AnOpeningReadIsAskedAgainAndNeverTakenAsZero) {
    // lost replies at the opening read, register, the field depending on it, what it shows
    const std::tuple<int, int, int, const char*> cases[] = {
        {2, 471, 440, "12.34"},
        {3, 471, 440, "unchanged"},
        {3, 382, 261, "marked"},
    };
    for (const auto& [lost, reg, dependent, shows] : cases) {
        SCOPED_TRACE(testing::Message() << reg << " lost " << lost);
        connect(GetParam());
        record.clear();
        for (auto [r, word] : {std::pair{471, 2}, {440, 1234}, {382, 1000}}) drive.setReg(r, word);
        drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = reg}, lost);
        core.readOpeningCopies();
        const int page = cat().parameter(dependent).page;
        readAndTake({page});
        const std::string text = shownOnPage(page, dependent);
        EXPECT_EQ(core.unshown(dependent), lost == 3);
        if (std::string(shows) != "marked")
            EXPECT_EQ(text, shows);
        std::map<int, int> sent;
        const WriteOutcome outcome = rehearse(core, link, sent);
        EXPECT_EQ(sent.count(dependent), lost == 3 ? 0u : 1u);
        if (lost == 3)
            EXPECT_THAT(outcome.skipped,
                        ::testing::Contains(::testing::Field(&WriteIssue::copy, reg)));
    }
}

// 16 bits and P13.34 are checked before any write; P13.04 converts at the P13.35 this write leaves.
TEST_P(Trust, ValuesAreCheckedAgainstWhatTheDriveWillHold) {
    drive.setReg(470, 10000);
    drive.setReg(471, 2);
    core.readOpeningCopies();
    readAndTake({22, 23});
    const std::tuple<int, std::int32_t, int, std::int32_t, const char*> cases[] = {
        {462, 70000, -1, 0, "P13.26 範圍不在0.00~655.35。"},
        {462, -1, -1, 0, "P13.26 範圍不在0.00~655.35。"},
        {440, 50, 470, 40, "P13.04 範圍不在0.00~0.40（P13.34 = 40）。"},
    };
    for (const auto& [reg, value, other, otherValue, message] : cases) {
        const EditorCore::Values before = core.working();
        core.working()[reg] = value;
        if (other >= 0)
            core.working()[other] = otherValue;
        std::vector<std::string> told;
        for (const CheckFailure& f : core.checkValues())
            if (f.reg == reg)
                told.push_back(checkFailureText(f));
        EXPECT_THAT(told, ::testing::Contains(message));
        core.working() = before;
    }
    auto fields = EditorCore::offlineFields();
    fields[471].text = "3";
    fields[440].text = "1.234";
    core.convert(fields);
    EXPECT_EQ(core.working()[440], 1234);
}

TEST_P(Trust, ReadOnlyAndLockedFieldsAreNeverWritten) {
    readAndTake({18, 28});
    std::map<int, int> sent;
    rehearse(core, link, sent);
    for (int reg : {382, 538, 539, 540, 541, 542, 543, 544}) EXPECT_EQ(sent.count(reg), 0u) << reg;
    EXPECT_EQ(sent.count(545), 1u);
    EXPECT_NE(core.fileText(false).find("P541 "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Framings, Trust, ::testing::Values(Framing::Ascii, Framing::Rtu));

}  // namespace
