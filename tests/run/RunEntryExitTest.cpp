// Entering and leaving the run panel: what the drive is told, which questions come, and that
// every way out puts the drive back as it was found.

#include "RunFixture.h"
#include "link/MBus.h"

using namespace velorin;
using namespace velorin::test;

namespace {
const QString kAskF = QStringLiteral("是否自動將主頻率來源設定為通信輸入?");
const QString kAskR = QStringLiteral("是否自動將運轉訊號設定為通信輸入?");
const QString kAskReverse = QStringLiteral("是否解除禁止反轉?");
const QString kBackF = QStringLiteral("是否自動將主頻率來源設定改回原始設定?");
const QString kBackReverse = QStringLiteral("是否自動將禁止反轉改回原始設定?");
}  // namespace

TEST_F(RunFixture, EntryRaisesTheFrequenciesAndAsksNothingOfADriveOnTheLink) {
    load(false);
    // The unit written back as read; 248 and 32 raised to 400 Hz; 25 = 0, 5 = 2, 28 = 0 asked
    // nothing.
    EXPECT_EQ(writes(), (Writes{{96, 0}, {248, 40000}, {32, 40000}}));
    EXPECT_TRUE(s.dialogs.shown().empty());
}

TEST_F(RunFixture, AnUnknownRampUnitIsNotWritten) {
    setRegs({{96, 5}});
    load(false);
    EXPECT_EQ(unitCombo()->currentIndex(), -1);
    EXPECT_EQ(writes(), (Writes{{248, 40000}, {32, 40000}}));
}

TEST_F(RunFixture, SourcesSwitchedOnYesAreOfferedBackOnExit) {
    setRegs({{25, 1}, {5, 0}, {28, 3}});
    s.dialogs.answerQuestions({kYes, kNo, kYes});
    load(false);
    EXPECT_EQ(s.dialogs.questions(), (Texts{kAskF, kAskR, kAskReverse}));
    // No: 5 left as it was.
    EXPECT_EQ(writes(), (Writes{{96, 0}, {248, 40000}, {32, 40000}, {25, 0}, {28, 0}}));
    // On the way out the two changed settings are offered back, the unchanged one is not.
    forget();
    s.dialogs.answerQuestions({kYes, kNo});
    action("returnAction")->trigger();
    EXPECT_EQ(s.dialogs.questions(), (Texts{kBackF, kBackReverse}));
    EXPECT_EQ(writes(), (Writes{{248, 6000}, {32, 5000}, {25, 1}}));  // No: 28 left
}

// Each way out in each framing: parameter / 2 is the way, parameter % 2 the framing.
class RunWayOut : public RunFraming {};

// Left while running: the stop word first, then what entry found, restored once.
TEST_P(RunWayOut, StopsRestoresOnceAndGoesWhereItShould) {
    const int way = GetParam() / 2;  // return, quit, window close
    setRegs({{25, 1}});
    s.dialogs.answerQuestions({kYes, kYes});
    load();
    click(button("runForwardButton"));
    forget();
    const std::function<void()> leave[] = {[&] { action("returnToolAction")->trigger(); },
                                           [&] { action("quitAction")->trigger(); },
                                           [&] { panel->close(); }};
    leave[way]();
    EXPECT_EQ(writes(), (Writes{{kCmd, 1}, {248, 6000}, {32, 5000}, {25, 1}}));
    EXPECT_EQ(s.dialogs.questions(), Texts{kBackF});
    EXPECT_FALSE(s.line.isHeld()) << "the port is closed";
    EXPECT_EQ(menuShown, way == 0 ? 1 : 0);
    EXPECT_EQ(s.quitCalled, way == 1);
    // Whatever closes the window afterwards restores nothing more.
    forget();
    if (panel)
        panel->close();
    flushDeletes();
    EXPECT_TRUE(writes().empty() && s.dialogs.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, RunWayOut, ::testing::Range(0, 6), [](const auto& i) {
    return (std::vector<std::string>{"Ascii", "Rtu"})[i.param % 2] +
           (std::vector<std::string>{"Return", "Quit", "Close"})[i.param / 2];
});

TEST_F(RunFixture, ACloseDuringACommandIsTakenWhenTheLineIsIdle) {
    load();
    edit("frequencyEdit")->setText("60");
    during(10, [&] { panel->close(); });
    click(button("runForwardButton"));
    // The run command went out whole, then the way out stopped the motor and restored.
    EXPECT_EQ(writes(), (Writes{{32, 6000}, {kCmd, 18}, {kCmd, 1}, {248, 6000}, {32, 5000}}));
    flushDeletes();
    EXPECT_TRUE(panel.isNull());
    EXPECT_FALSE(s.line.isHeld());
}

TEST_F(RunFixture, AsciiReadsTheTopFrequencySignedAndWritesItBack) {
    setRegs({{248, 40000}});
    EXPECT_EQ((load(), panel->session().maxFrequencyAtEntry()), -25536);
    panel->close();
    EXPECT_EQ(writes(), (Writes{{248, 40000}, {32, 5000}}));
}

TEST_F(RunFixture, ValuesNotReadAtEntryAreNotWrittenBack) {
    // The read of 248 goes unanswered: a fault set while the read of 32, entry's seventh
    // request, is on its way meets the request after it.
    int sent = 0;
    setLinkTrace([&](const LinkTraceEvent& e) {
        if (e.sent && ++sent == 7)
            s.drive.injectFault({DriveFault::Kind::NoReply});
    });
    load();
    setLinkTrace({});
    EXPECT_EQ(s.drive.reg(248), 6000);  // not raised either
    panel->close();
    EXPECT_EQ(writes(), (Writes{{32, 5000}}));
}

TEST_F(RunFixture, APortThatCannotBeOpenedSendsBackToTheMenu) {
    s.line.setHeldElsewhere(true);
    EXPECT_EQ(showRunPanel(s.services), &menuWindow);
    EXPECT_EQ(menuShown, 1);
    EXPECT_EQ(s.dialogs.messages(),
              Texts{QStringLiteral("無法開啟通訊埠，請確認連接埠未被其他程式占用。")});
    EXPECT_EQ(s.drive.requestsHeard(), 0);
}
