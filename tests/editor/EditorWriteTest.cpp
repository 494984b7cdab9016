// The write to the drive from the editor's core, against the simulated drive's write log, in
// both framings: which registers go out in which order, the unit switches, the link parameters
// and the reset, and every way a write can fail to arrive.

#include <gtest/gtest.h>

#include "editor/CoreFixture.h"
#include "link/DriveFacts.h"

using namespace velorin;
using namespace velorin::test;

namespace {

using namespace std::chrono_literals;

class Write : public CoreFixture, public ::testing::WithParamInterface<Framing> {
protected:
    void SetUp() override { connect(GetParam()); }
    WriteOutcome write() {
        record.clear();
        drive.clearWriteLog();
        return core.writeToDrive(link, hooks);
    }
    static Writes range(int first, int last, int value = -1) {
        Writes w;
        for (int r = first; r <= last; ++r) w.emplace_back(r, value < 0 ? r : value);
        return w;
    }
    // The drive's registers of a page set to their own numbers, read, and taken as they show.
    void readPageOfNumbers(int page) {
        for (int reg : Catalogue::instance().page(page).fields)
            if (reg < 496 || reg > 498)
                drive.setReg(reg, static_cast<std::uint16_t>(reg));
        ASSERT_EQ(core.readPage(page).kind, PageReadOutcome::Kind::Read);
        takeShownValues(page);
    }
    int formatNow() const { return isRtu(GetParam()) ? 3 : 0; }

    WriteHooks hooks;
};

TEST_P(Write, NothingPresentSendsOnlyTheRunningCheck) {
    const WriteOutcome outcome = write();
    EXPECT_EQ(record.requests(), (std::vector<Request>{{3, 0x2101}}));
    EXPECT_TRUE(outcome.complete());
}

TEST_P(Write, PresentPagesGoOutInOrderAndRegistersWithoutAFieldNever) {
    // Pages marked present as a parameter file does, never read.
    core.setPagePresent(2, true);
    core.setPagePresent(0, true);
    for (int reg = 0; reg <= 54; ++reg) core.working()[reg] = reg;
    core.working()[1] = -1;  // nothing selected
    const WriteOutcome outcome = write();
    Writes expected = range(0, 13);
    expected[1].second = 0xFFFF;
    for (const Writes& part : {range(16, 22), range(49, 54)})
        expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(writes(), expected);
    EXPECT_EQ(record.requests().size(), 1 + expected.size());  // the running check, then writes
    EXPECT_TRUE(outcome.complete());
    EXPECT_EQ(outcome.confirmed, static_cast<int>(expected.size()));
}

TEST_P(Write, AChangedRampUnitReadsPageP03AgainAtItsNewResolution) {
    drive.setReg(97, 1234);
    core.readOpeningCopies();
    ASSERT_TRUE(core.readPage(5).ok());
    takeShownValues(5);
    core.working()[96] = 1;
    std::vector<int> shown;
    hooks.pageRead = [&](int page) { shown.push_back(page); };
    write();
    EXPECT_EQ(writes(), (Writes{{96, 1},
                                {97, 1234},
                                {98, 1000},
                                {99, 1000},
                                {100, 1000},
                                {101, 1000},
                                {102, 1000},
                                {103, 1000},
                                {104, 1000},
                                {105, 1000},
                                {106, 200},
                                {107, 0},
                                {108, 0},
                                {109, 0},
                                {110, 0},
                                {111, 0}}));
    EXPECT_EQ(record.reads(), (std::vector<int>{0x2101, 96, 97, 98, 99, 100, 101, 102, 103, 104,
                                                105, 106, 107, 108, 109, 110, 111}));
    EXPECT_EQ(shown, std::vector<int>{5});
    EXPECT_EQ(shownOnPage(5, 97), "123.4");
    EXPECT_EQ(core.copies().rampUnit, 1);
}

TEST_P(Write, StationThenFormatChangesAreFollowedByEveryLaterTransaction) {
    ASSERT_TRUE(core.readPage(25).ok());
    takeShownValues(25);
    core.working()[496] = 5;
    write();
    EXPECT_EQ(writes(), (Writes{{499, 0}, {500, 0}, {501, 3}, {502, 0}, {496, 5}}));
    EXPECT_EQ(link.station, 5);
    EXPECT_EQ(drive.station(), 5);
    EXPECT_EQ(session->read(0).outcome, LinkOutcome::Ok);  // the drive answers at station 5 only
    // Format 4 (RTU, 8 data bits, no parity, 1 stop bit), then 1 (ASCII, even parity).
    for (const auto& [format, suffix, framing] :
         {std::tuple{4, ",N,8,1", Framing::Rtu}, std::tuple{1, ",E,7,1", Framing::Ascii}}) {
        core.working()[498] = format;
        write();
        EXPECT_EQ(writes(), (Writes{{499, 0}, {500, 0}, {501, 3}, {502, 0}, {498, format}}));
        EXPECT_EQ(link.settings, std::string("9600") + suffix);
        EXPECT_EQ(link.framing, framing);
        EXPECT_EQ(core.framingInUse(), framing);
        EXPECT_EQ(drive.formatIndex(), format);
        // The written station and format are the drive's now: a page read does not bring the
        // values from before the write back as the drive's.
        EXPECT_EQ(core.readPage(1).kind, PageReadOutcome::Kind::Read);
        core.setPagePresent(1, false);
        EXPECT_EQ(core.copies().station, 5);
        EXPECT_EQ(core.copies().format, format);
    }
}

TEST_P(Write, ARateChangeIsCheckedAtTheNewRate) {
    ASSERT_TRUE(core.readPage(25).ok());
    takeShownValues(25);
    core.working()[497] = 2;  // 19200
    write();
    EXPECT_EQ(writes(), (Writes{{499, 0}, {500, 0}, {501, 3}, {502, 0}, {497, 192}}));
    EXPECT_EQ(link.settings.substr(0, 6), "19200,");
    EXPECT_EQ(drive.rateIndex(), 2);
    // Back to 9600, and the drive stays silent at it: nothing more is sent, the technician is
    // told where the line now stands.
    core.working()[497] = 1;
    core.working()[496] = 7;
    record.onReply = [this](int n) {
        if (n == 6)  // after the rate's write: the check at the new rate and its second try
            drive.injectFault({DriveFault::Kind::NoReply}, 2);
    };
    const WriteOutcome outcome = write();
    EXPECT_EQ(writes().back(), (std::pair{497, 96}));
    EXPECT_EQ(outcome.end, WriteOutcome::End::NotAtNewSettings);
    EXPECT_EQ(outcome.settingsInUse,
              link.settings + (isRtu(GetParam()) ? " RTU" : " ASCII") + " 站號 1");
    EXPECT_EQ(drive.station(), 1);
    EXPECT_EQ(EditorCore::reportLines(outcome).at(0),
              "變頻機在新的通訊設定下未回應，其餘參數未寫入。目前使用：" + outcome.settingsInUse);
}

TEST_P(Write, AResetWaitsThenFollowsTheFactorySettingsAndIsNotSentTwice) {
    readPageOfNumbers(28);
    core.working()[546] = 2;
    const Micros start = clock.now();
    Micros written{0};
    record.onReply = [&](int n) {
        if (n == 12)  // the running check, 538-545, 547, 548, then 546
            written = clock.now();
    };
    const WriteOutcome outcome = write();
    Writes expected = range(538, 545);
    expected.insert(expected.end(), {{547, 547}, {548, 548}, {546, 2}});
    EXPECT_EQ(writes(), expected);
    EXPECT_GT(written, start);
    EXPECT_GE(clock.now() - written, 2s);
    EXPECT_EQ(link.settings, "9600,N,7,2");
    EXPECT_EQ(link.framing, Framing::Ascii);
    EXPECT_EQ(link.station, 1);
    EXPECT_TRUE(outcome.factoryReset);
    EXPECT_FALSE(core.pagePresent(28));
    EXPECT_TRUE(core.readPage(28).ok());  // at the factory settings

    // 8 clears the fault history and changes no setting; once written it is the drive's value,
    // so the next write after a page read leaves it alone.
    takeShownValues(28);
    const LinkState before = link;
    core.working()[546] = 8;
    write();
    EXPECT_EQ(writes().back(), (std::pair{546, 8}));
    EXPECT_EQ(link.settings, before.settings);
    EXPECT_TRUE(core.pagePresent(28));
    ASSERT_TRUE(core.readPage(3).ok());
    write();
    EXPECT_EQ(writes().back(), (std::pair{548, 0}));
}

TEST_P(Write, EveryWriteTheDriveRefusedOrLeftUnansweredIsReported) {
    core.setPagePresent(2, true);
    for (int reg = 49; reg <= 54; ++reg) core.working()[reg] = reg;
    record.onReply = [this](int n) {
        if (n == 2)  // the second write, P01.25, is refused; the fourth, P01.27, unanswered
            drive.injectFault({DriveFault::Kind::Exception, 3});
        if (n == 4)
            drive.injectFault({DriveFault::Kind::NoReply});
    };
    const WriteOutcome outcome = write();
    EXPECT_EQ(record.requests().size(), 7u);
    EXPECT_EQ(outcome.confirmed, 4);
    EXPECT_EQ(EditorCore::reportLines(outcome),
              (std::vector<std::string>{"P01.25 跳躍頻率2：變頻機拒絕寫入 (例外碼 03)",
                                        "P01.27 跳躍頻率寬度：變頻機未回應"}));
}

TEST_P(Write, ThreeWritesWithoutAReplyStopTheWrite) {
    core.setPagePresent(0, true);
    core.setPagePresent(28, true);
    record.onReply = [this](int n) {
        if (n == 3)  // from the third write on
            drive.injectFault({DriveFault::Kind::NoReply}, 100);
    };
    const WriteOutcome outcome = write();
    EXPECT_EQ(record.requests().size(), 6u);  // the running check and five writes
    EXPECT_EQ(outcome.end, WriteOutcome::End::DriveSilent);
    const auto lines = EditorCore::reportLines(outcome);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "變頻機未回應，寫入已停止：已確認寫入 2 項，其餘參數未寫入。");
    EXPECT_EQ(lines[3], "P00.04 無單位顯示小數點：變頻機未回應");
}

TEST_P(Write, NoAnswerToTheRunningCheckOrNoToTheQuestionWritesNothing) {
    core.setPagePresent(0, true);
    loseReplies(1, 1);
    EXPECT_EQ(write().end, WriteOutcome::End::NoAnswer);
    EXPECT_EQ(record.requests().size(), 1u);
    record.onReply = {};
    ASSERT_EQ(session->write(drive::kCommandRegister, drive::kRunForward).outcome, LinkOutcome::Ok);
    int asked = 0;
    for (bool yes : {false, true}) {
        hooks.confirmWhileRunning = [&] { return ++asked, yes; };
        const WriteOutcome outcome = write();
        EXPECT_EQ(outcome.end, yes ? WriteOutcome::End::Finished : WriteOutcome::End::Declined);
        EXPECT_EQ(writes().size(), yes ? 21u : 0u);
    }
    EXPECT_EQ(asked, 2);
}

TEST_P(Write, ValuesThatCannotBeWrittenAreSkippedAndListed) {
    drive.setReg(0, 99);  // P00.00 has no option 99: its field cannot show it
    ASSERT_TRUE(core.readPage(0).ok() && core.readPage(25).ok());
    core.showPage(0);
    takeShownValues(0);
    takeShownValues(25);
    core.working()[2] = 65536;
    core.working()[3] = -32769;
    core.working()[497] = -1;
    core.working()[498] = -1;
    const WriteOutcome outcome = write();
    for (const auto& [reg, value] : writes())
        EXPECT_TRUE(reg != 0 && reg != 2 && reg != 3 && reg != 497 && reg != 498) << reg;
    EXPECT_EQ(writes().size(), 18u + 4u);
    EXPECT_EQ(EditorCore::reportLines(outcome),
              (std::vector<std::string>{"P00.00 開機顯示畫面選擇：欄位未顯示變頻機的值，未寫入",
                                        "P00.02 監看變數LPF時間：數值超出 -32768~65535，未寫入",
                                        "P00.03 無單位顯示對應值：數值超出 -32768~65535，未寫入",
                                        "P15.01 PC傳輸速率：未選擇項目，未寫入",
                                        "P15.02 通訊資料格式：未選擇項目，未寫入"}));
}

TEST(WriteReport, AtMostTwentyLinesThenACount) {
    WriteOutcome outcome;
    for (int reg = 25; reg < 48; ++reg) outcome.unconfirmed.push_back({reg, "變頻機未回應"});
    const auto lines = EditorCore::reportLines(outcome);
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[0], "P01.00 頻率指令選擇1：變頻機未回應");
    EXPECT_EQ(lines[20], "…及其他 3 項");
}

INSTANTIATE_TEST_SUITE_P(Framings, Write, ::testing::Values(Framing::Ascii, Framing::Rtu));

}  // namespace
