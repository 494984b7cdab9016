// The editor core in both framings: values read and shown, the write and its checks, and nothing
// written that the technician did not see, whatever the unit switches and P13.35 hold.

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include <gmock/gmock.h>

#include "editor/CoreFixture.h"
#include "model/DriveFacts.h"
#include "model/ValueCheck.h"
#include "texts/CheckTexts.h"

using namespace velorin;
using namespace velorin::test;

namespace {

using namespace std::chrono_literals;
using Why = WriteIssue::Why;
// What the write's report tells of each parameter not brought to the drive.
using Told = std::vector<std::tuple<int, Why, LinkOutcome>>;
Told told(const WriteOutcome& outcome) {
    Told told;
    for (const WriteIssue& issue : outcome.issues())
        told.emplace_back(issue.reg, issue.why, issue.reply.outcome);
    return told;
}

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

// The words a field is tried with.
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

class Core : public FramedCore {
protected:
    WriteOutcome write(WriteScope scope = WriteScope::Everything) {
        record.clear();
        drive.clearWriteLog();
        return core.writeToDrive(link, hooks, scope);
    }
    static Writes range(int first, int last) {
        Writes w;
        for (int r = first; r <= last; ++r) w.emplace_back(r, r);
        return w;
    }
    static Writes p15(Writes changed) {
        Writes w = {{499, 0}, {500, 0}, {501, 3}, {502, 0}};
        w.insert(w.end(), changed.begin(), changed.end());
        return w;
    }
    WriteHooks hooks;
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
    // The factory drive read whole, as 讀取全部 leaves it with nothing touched.
    void readEverything() {
        core.readOpeningCopies();
        for (int page = 0; page < kPageCount; ++page) readUnchanged({page});
    }
};

TEST_P(Core, ValuesReadShowSignedOnlyWhereTheRangeGoesBelowZeroAndInTheUnitsRead) {
    const std::tuple<int, std::uint16_t, std::string> cases[] = {
        {115, 0xFF9C, "-1.00"}, {456, 0xFFFF, "-0.01"}, {3, 60000, "60000"}, {10, 0xFFFF, "655.35"},
        {25, 0xFFFF, "#-1"},    {0, 99, "unchanged"},  {97, 1234, "123.4"}, {230, 25, "25"},
        {497, 192, "#2"},       {440, 1234, "1.234"}};
    for (const auto& [reg, word, text] : cases) drive.setReg(reg, word);
    for (auto [reg, word] : {std::pair{96, 1}, {229, 1}, {471, 3}}) drive.setReg(reg, word);
    core.readOpeningCopies();
    for (const auto& [reg, word, text] : cases) {
        const int page = Catalogue::instance().parameter(reg).page;
        if (!core.pagePresent(page))
            ASSERT_EQ(core.readPage(page).kind, PageReadOutcome::Kind::Read) << page;
        EXPECT_EQ(shownOnPage(page, reg), text) << reg;
        EXPECT_EQ(core.unshown(reg), text == "unchanged") << reg;
    }
}

TEST_P(Core, TheDrivesCopiesAreSignedAskedAgainAndRefreshedByEveryPageRead) {
    for (auto [reg, word] : {std::pair{470, 40000}, {471, 4}, {382, 77}, {497, 192}, {546, 8}})
        drive.setReg(reg, word);
    drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 382});  // P11.14
    core.readOpeningCopies();
    EXPECT_EQ(record.firstReads(), (std::vector<int>{96, 229, 382, 470, 471}));
    EXPECT_EQ(drive.faultsQueued(), 0u);
    const DriveCopies& c = core.copies();
    EXPECT_EQ(std::tuple(c.ratedCurrent, c.pidFullScale, c.pidDecimals), std::tuple(77, 40000, 4));
    ASSERT_TRUE(core.readPage(25).ok() && core.readPage(28).ok());
    EXPECT_EQ(c.rate, 192);
    core.copies().rate = 48;
    core.copies().lockReset = 5;
    ASSERT_TRUE(core.readPage(1).ok());
    EXPECT_EQ(std::tuple(c.rate, c.lockReset), std::tuple(192, 8));
}

TEST_P(Core, AnUnansweredRegisterIsAskedThreeTimesThenThePageReadStops) {
    for (int lost : {2, 3}) {
        connect(GetParam());
        record.clear();
        drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 4}, lost);  // P00.04
        const PageReadOutcome outcome = core.readPage(0);
        // P00.04 asked three times at most; those read before it asked again (a late reply
        // might pass for theirs).
        const std::vector<int> reads = record.reads();
        const auto asked = std::ranges::count(reads, 4);
        EXPECT_TRUE(lost == 3 ? asked == 3 && reads.back() == 4 : asked > lost) << asked;
        for (int reg : {0, 1, 2, 3}) EXPECT_GE(std::ranges::count(reads, reg), 2) << reg;
        EXPECT_EQ(core.pagePresent(0), lost == 2);
        EXPECT_EQ(outcome.failedRegister, lost == 2 ? -1 : 4);
    }
}

TEST_P(Core, PresentPagesGoOutInOrderAndRegistersWithoutAFieldNever) {
    EXPECT_TRUE(write().complete());
    EXPECT_EQ(record.requests(), (std::vector<Request>{{FunctionCode::ReadRegisters, 0x2101}}));  // nothing present
    // Pages marked present as a parameter file marks them, never read.
    core.setPagePresent(2, true);
    core.setPagePresent(0, true);
    for (int reg = 0; reg <= 54; ++reg) core.working()[reg] = reg;
    core.working()[1] = -1;  // nothing selected
    const WriteOutcome outcome = write();
    Writes expected = range(0, 13);
    expected[1].second = 0xFFFF;
    for (const Writes& part : {range(16, 22), range(49, 54)})
        expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(std::tuple(writes(), record.requests().size(), outcome.complete()),
              std::tuple(expected, 1 + expected.size(), true));  // the running check, the writes
}

TEST_P(Core, StationRateAndFormatChangesAreFollowedByEveryLaterTransaction) {
    readUnchanged({25});  // station 1, 9600, the framing's format
    core.working()[496] = 5;
    write();
    EXPECT_EQ(std::tuple(writes(), link.station), std::tuple(p15({{496, 5}}), 5));
    EXPECT_EQ(session->read(0).outcome, LinkOutcome::Ok);  // the drive answers at station 5 only
    // clang-format off
    const struct { int reg, value; std::pair<int, int> written; const char* settings; Framing framing; } steps[] = {
        {498, 4, {498, 4}, "9600,N,8,1", Framing::Rtu},
        {498, 1, {498, 1}, "9600,E,7,1", Framing::Ascii},
        {497, 2, {497, 192}, "19200,E,7,1", Framing::Ascii},
    };
    // clang-format on
    for (const auto& step : steps) {
        core.working()[step.reg] = step.value;
        write();
        EXPECT_EQ(writes(), p15({step.written}));
        EXPECT_EQ(std::tuple(link.settings, drive.settings(), link.framing, core.framingInUse()),
                  std::tuple(step.settings, step.settings, step.framing, step.framing));
        // What was written is the drive's now: a page read brings back no value from before.
        EXPECT_EQ(core.readPage(1).kind, PageReadOutcome::Kind::Read);
        core.setPagePresent(1, false);
        EXPECT_EQ(core.copies().station, 5);
    }
    // Back to 9600, and the drive is silent at it: nothing more is sent (the station change
    // included), and the technician is told where the line now stands.
    core.working()[497] = 1;
    core.working()[496] = 7;
    // The check at the new rate, asked three times.
    drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 496}, 3);
    const WriteOutcome outcome = write();
    EXPECT_EQ(writes().back(), (std::pair{497, 96}));
    EXPECT_EQ(std::tuple(outcome.end, outcome.settingsInUse, outcome.stationInUse, drive.station()),
              std::tuple(WriteOutcome::End::NotAtNewSettings, "9600,E,7,1 ASCII", 5, 5));
}

TEST_P(Core, AResetWaitsThenFollowsTheFactorySettingsAndNoLockValueIsSentTwice) {
    for (int reg = 538; reg <= 548; ++reg) drive.setReg(reg, static_cast<std::uint16_t>(reg));
    readUnchanged({28});
    core.working()[546] = 2;
    Micros written{0};
    record.onReply = [&](int n) {
        if (n == 5)  // the running check, 545 (538-544 are the drive's own), 547, 548, then 546
            written = clock.now();
    };
    const WriteOutcome outcome = write();
    EXPECT_EQ(writes(), (Writes{{545, 545}, {547, 547}, {548, 548}, {546, 2}}));
    EXPECT_GE(clock.now() - written, 2s);
    EXPECT_EQ(std::tuple(link.settings, link.framing, link.station),
              std::tuple(std::string("9600,N,7,2"), Framing::Ascii, 1));
    EXPECT_TRUE(outcome.factoryReset && !core.pagePresent(28));
    // 8 clears the fault history; once written it is the drive's value, not written again.
    readUnchanged({28});
    core.working()[546] = 8;
    write();
    EXPECT_EQ(std::tuple(writes().back(), link.settings),
              std::tuple(std::pair{546, 8}, "9600,N,7,2"));
    ASSERT_TRUE(core.readPage(3).ok());
    write();
    EXPECT_EQ(writes().back(), (std::pair{548, 0}));
}

TEST_P(Core, EveryWriteTheDriveRefusedOrLeftUnansweredIsReported) {
    core.setPagePresent(2, true);
    // P01.25 refused (never sent again); P01.27 and its three reads back unanswered.
    drive.injectFault({.kind = DriveFault::Kind::Exception,
                       .exceptionCode = ExceptionCode::IllegalValue,
                       .onlyRegister = 50});
    drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 52}, 4);
    const WriteOutcome outcome = write();
    EXPECT_EQ(std::tuple(record.writes(), outcome.confirmed, told(outcome)),
              std::tuple(span(49, 54), 4, Told{{50, Why::NotConfirmed, LinkOutcome::Exception},
                                               {52, Why::NotConfirmed, LinkOutcome::NoReply}}));
    EXPECT_EQ(outcome.unconfirmed.front().reply.exceptionCode, ExceptionCode::IllegalValue);
    // Three writes in a row without a reply stop the write (a while later: the line has settled).
    clock.advance(std::chrono::seconds(3));
    core.setPagePresent(28, true);
    record.onReply = [this](int n) {
        if (n == 3)
            drive.injectFault({DriveFault::Kind::NoReply}, 100);
    };
    const WriteOutcome silent = write();
    EXPECT_EQ(record.writes().size(), 5u);
    EXPECT_EQ(std::tuple(silent.end, silent.confirmed, silent.portLost()),
              std::tuple(WriteOutcome::End::DriveSilent, 2, false));
    EXPECT_EQ(told(silent), (Told{{51, Why::NotConfirmed, LinkOutcome::NoReply},
                                  {52, Why::NotConfirmed, LinkOutcome::NoReply},
                                  {53, Why::NotConfirmed, LinkOutcome::NoReply}}));
    // An adapter pulled out under the write stops it: the report names the port, not the drive.
    drive.clearFaults();
    clock.advance(std::chrono::seconds(3));
    record.onReply = [this](int n) {
        if (n == 3)
            line.setPresent(false);
    };
    const WriteOutcome lost = write();
    EXPECT_EQ(std::tuple(lost.end, lost.confirmed, lost.portLost()),
              std::tuple(WriteOutcome::End::DriveSilent, 2, true));
}

TEST_P(Core, NoAnswerToTheRunningCheckOrNoToTheQuestionWritesNothing) {
    core.setPagePresent(0, true);
    drive.injectFault({DriveFault::Kind::NoReply}, 3);
    EXPECT_EQ(write().end, WriteOutcome::End::NoAnswer);
    EXPECT_EQ(record.requests(), std::vector<Request>(3, {FunctionCode::ReadRegisters, 0x2101}));
    ASSERT_EQ(session->write(drive::kCommandRegister, drive::kRunForward).outcome, LinkOutcome::Ok);
    for (bool yes : {false, true}) {
        int asked = 0;
        hooks.confirmWhileRunning = [&] { return ++asked, yes; };
        EXPECT_EQ(write().end, yes ? WriteOutcome::End::Finished : WriteOutcome::End::Declined);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(writes().size(), yes ? 21u : 0u);
    }
}

TEST_P(Core, ValuesThatCannotBeWrittenAreSkippedAndListed) {
    drive.setReg(0, 99);  // P00.00 has no option 99: its field cannot show it
    ASSERT_TRUE(core.readPage(0).ok());
    core.showPage(0);
    takeShownValues(0);
    readUnchanged({25});  // station 1, 9600, the framing's format
    core.working()[2] = 65536;
    core.working()[3] = -32769;
    core.working()[497] = -1;
    core.working()[498] = -1;
    WriteOutcome outcome = write();
    EXPECT_EQ(writes().size(), 18u + 4u);  // pages P00 and P15 but for those told
    const LinkOutcome none = ReplyCheck{}.outcome;  // nothing was sent
    EXPECT_EQ(told(outcome), (Told{{0, Why::NotShown, none}, {2, Why::OutOfRange, none},
                                   {3, Why::OutOfRange, none}, {497, Why::NoSelection, none},
                                   {498, Why::NoSelection, none}}));
}

// The changes only, in the full write's order and steps; then nothing is left to send.
TEST_P(Core, ChangedOnlySendsWhatDiffersWithEveryStepOfTheFullWrite) {
    for (int reg : {547, 548}) drive.setReg(reg, 0);
    readUnchanged({0, 5, 25, 28});
    core.setPagePresent(2, true);
    Writes expected = {{5, core.driveValue(5) + 1}};
    for (int reg = 49; reg <= 54; ++reg) expected.emplace_back(reg, reg);
    expected.insert(expected.end(), {{96, 1}, {496, 5}, {547, 0}, {548, 0}, {546, 8}});
    for (auto [reg, value] : expected) core.working()[reg] = value;
    // The preview shows both values as the fields do, and a value never read as such.
    const WritePreview preview = core.previewWrite(WriteScope::ChangedOnly);
    ASSERT_GE(preview.changes.size(), 2u);
    ASSERT_TRUE(preview.changes[0].before);
    EXPECT_EQ(std::tuple(preview.changes[0].reg, preview.changes[0].before->shown,
                         preview.changes[1].before.has_value()),
              std::tuple(5, std::optional<std::string>("0：數位操作器"), false));
    std::vector<int> shown;
    hooks.pageRead = [&](int page) { shown.push_back(page); };
    for (bool again : {false, true}) {
        Writes planned;
        for (const PlannedWrite& w : core.plannedWrites(WriteScope::ChangedOnly))
            planned.emplace_back(w.reg, w.value);
        EXPECT_EQ(planned, again ? Writes{} : expected);
        EXPECT_TRUE(write(WriteScope::ChangedOnly).complete());
        EXPECT_EQ(writes(), again ? Writes{} : expected);
        EXPECT_EQ(record.firstReads().size(), again ? 1u : 17u);  // the running check, P03 again
    }
    EXPECT_EQ(std::tuple(link.station, shown, shownOnPage(5, 97), core.copies().rampUnit),
              std::tuple(5, std::vector<int>{5}, "100.0", 1));
}

TEST_P(Core, ThePlanIsWhatTheWriteSends) {
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
            WriteHooks hooks;
            hooks.rehearse = [&](int reg, std::uint16_t word) {
                rehearsed.emplace_back(reg, EditorCore::driveValueOf(reg, word));
            };
            const DriveCopies copies = core.copies();
            core.writeToDrive(link, hooks, scope);
            core.copies() = copies;
            EXPECT_EQ(planned, rehearsed);
            EXPECT_EQ(preview.changes.size() + preview.unchanged, planned.size());
            for (const auto& change : preview.changes)
                EXPECT_NE(std::ranges::find(edited, change.reg), edited.end()) << change.reg;
        }
    }
}

TEST_P(Core, EveryShowableValueComesBackAndNoOtherIsWritten) {
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
TEST_P(Core, AnOpeningReadIsAskedAgainAndNeverTakenAsZero) {
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
// A bound from P13.34 at 40000 stays 40000 (it once became -25536 and refused every P13.04).
TEST_P(Core, ValuesAreCheckedAgainstWhatTheDriveWillHold) {
    drive.setReg(470, 40000);
    drive.setReg(471, 2);
    core.readOpeningCopies();
    readAndTake({22, 23});
    const std::tuple<int, std::int32_t, int, std::int32_t, const char*> cases[] = {
        {462, 70000, -1, 0, "P13.26 範圍不在0.00~655.35。"},
        {462, -1, -1, 0, "P13.26 範圍不在0.00~655.35。"},
        {440, 50, 470, 40, "P13.04 範圍不在0.00~0.40（P13.34 = 40）。"},
        {440, 0, -1, 0, nullptr},
        {440, 40000, -1, 0, nullptr},
        {440, 40001, -1, 0, "P13.04 範圍不在0.00~400.00（P13.34 = 40000）。"},
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
        EXPECT_EQ(told, message ? std::vector<std::string>{message} : std::vector<std::string>{})
            << reg << " " << value;
        core.working() = before;
    }
    auto fields = EditorCore::offlineFields();
    fields[471].text = "3";
    fields[440].text = "1.234";
    core.convert(fields);
    EXPECT_EQ(core.working()[440], 1234);
}

TEST_P(Core, ReadOnlyAndLockedFieldsAreNeverWritten) {
    readAndTake({18, 28});
    std::map<int, int> sent;
    rehearse(core, link, sent);
    for (int reg : {382, 538, 539, 540, 541, 542, 543, 544}) EXPECT_EQ(sent.count(reg), 0u) << reg;
    EXPECT_EQ(sent.count(545), 1u);
    EXPECT_NE(core.fileText(false).find("P541 "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Framings, Core, ::testing::Values(Framing::Ascii, Framing::Rtu));

std::vector<std::string> messages(const std::vector<CheckFailure>& failures) {
    std::vector<std::string> m;
    for (const CheckFailure& f : failures) m.push_back(checkFailureText(f));
    return m;
}

// The factory drive fails only P15.03 (0), its own: a full write asks, a write of changes ignores.
TEST_P(Core, AWriteIsHeldUpOnlyByWhatItWritesAndWhatDependsOnIt) {
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

TEST_P(Core, AFullWriteLeavesOutTheValuesTheTechnicianLetStand) {
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
