// Entering and leaving the run panel: what the drive is asked and told, which questions come,
// and that every way out puts the drive back as it was found.

#include <QComboBox>
#include <QLineEdit>

#include "RunFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

using RunEntry = RunFixture;
using RunEntryFraming = RunFraming;

const QString kAskF = QStringLiteral("是否自動將主頻率來源設定為通信輸入?");
const QString kAskR = QStringLiteral("是否自動將運轉訊號設定為通信輸入?");
const QString kAskReverse = QStringLiteral("是否解除禁止反轉?");
const QString kBackF = QStringLiteral("是否自動將主頻率來源設定改回原始設定?");
const QString kBackR = QStringLiteral("是否自動將運轉訊號來源設定改回原始設定?");
const QString kBackReverse = QStringLiteral("是否自動將禁止反轉改回原始設定?");
const QString kNoAnswer = QStringLiteral("變頻機未回應，指令可能未送達。");

enum class Way { Return, Quit, Close, ReturnByMenu, QuitByMenu };

}  // namespace

TEST_P(RunEntryFraming, EntryReadsSavesAndRaisesInOrder) {
    Form4* p = load(false);
    // Unit chosen (96 written back, 97 and 98 read), 97 and 98 once more, 32 and 248 saved
    // and raised, then the three sources.
    // clang-format off
    const std::vector<Request> expected{
        {3, 96, 1}, {6, 96, 0}, {3, 97, 1}, {3, 98, 1}, {3, 97, 1}, {3, 98, 1}, {3, 32, 1},
        {3, 248, 1}, {6, 248, 40000}, {6, 32, 40000}, {3, 25, 1}, {3, 5, 1}, {3, 28, 1}};
    // clang-format on
    EXPECT_EQ(requests, expected);
    EXPECT_TRUE(s.dialogs.shown().empty());
    EXPECT_EQ(p->Combo1->currentIndex(), 0);
    EXPECT_EQ(p->Text3->text(), "10.00");
    EXPECT_EQ(p->Text4->text(), "20.00");
    EXPECT_EQ(p->Flag32, 5000);
    EXPECT_EQ(p->Flag248, 6000);
    EXPECT_EQ(p->Preview, 0);
    EXPECT_EQ(p->Temp, GetParam() ? 1 : 0);
    // Shown stopped, at 60 Hz on the panel, while the drive holds 400 Hz until the first write.
    EXPECT_EQ(p->Text1->text(), "60.00");
    EXPECT_EQ(p->Slider1->value(), 6000);
    EXPECT_EQ(s.drive.reg(32), 40000);
    EXPECT_EQ(s.drive.reg(248), 40000);
}

TEST_P(RunEntryFraming, AnUnknownRampUnitIsLeftAloneUntilChosen) {
    setRegs({{96, 5}, {97, 1234}, {98, 50}});
    Form4* p = load(false);
    for (const auto& w : writes()) EXPECT_NE(w.reg, 96);
    EXPECT_EQ(p->Combo1->currentIndex(), -1);
    EXPECT_EQ(p->Text3->text(), "12.34");
    EXPECT_EQ(p->Text4->text(), "0.50");
    // The technician's choice is written.
    forget();
    p->Combo1->setCurrentIndex(1);
    p->Combo1_Click();
    EXPECT_EQ(writes(), (std::vector<Write>{{96, 1}}));
    EXPECT_EQ(p->Text3->text(), "123.4");
}

TEST_P(RunEntryFraming, QuestionsAskedOnlyForWhatDiffersAndAnsweredYesAreUndoneOnExit) {
    setRegs({{25, 1}, {5, 0}, {28, 3}});
    s.dialogs.answerQuestions({kYes, kNo, kYes});
    Form4* p = load(false);
    EXPECT_EQ(boxes(),
              (Boxes{{kAskF, "主頻率設定"}, {kAskR, "運轉訊號設定"}, {kAskReverse, "反轉設定"}}));
    EXPECT_EQ(s.drive.reg(25), 0);
    EXPECT_EQ(s.drive.reg(5), 0);  // No: left as it was
    EXPECT_EQ(s.drive.reg(28), 0);
    EXPECT_EQ(p->Main_F, "1");

    // On the way out: the two changed settings are offered back, the unchanged one is not.
    forget();
    s.dialogs.answerQuestions({kYes, kNo});
    p->Return_Click();
    EXPECT_EQ(boxes(), (Boxes{{kBackF, "主頻率設定"}, {kBackReverse, "禁止反轉設定"}}));
    EXPECT_EQ(writes(), (std::vector<Write>{{248, 6000}, {32, 5000}, {25, 1}}));
    EXPECT_EQ(s.drive.reg(28), 0);  // No on the way out leaves it
}

TEST_F(RunEntry, OnlyTheQuestionsThatDifferAreShown) {
    // Frequency source switched on Yes; the run source already takes the link.
    setRegs({{25, 2}, {5, 2}, {28, 0}});
    s.dialogs.answerQuestions({kYes});
    load(false);
    EXPECT_EQ(s.dialogs.questions(), std::vector<QString>{kAskF});
    EXPECT_EQ(writes().back(), (Write{25, 0}));
    for (const auto& w : writes()) EXPECT_NE(w.reg, 5);
}

class RunWayOut : public RunFixture, public ::testing::WithParamInterface<std::tuple<bool, Way>> {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        if (std::get<0>(GetParam()))
            useRtu();
    }
    void leaveBy(Way way) {
        switch (way) {
            case Way::Return:
                panel->Toolbar1Buttons[0]->trigger();
                break;
            case Way::Quit:
                panel->Toolbar1Buttons[1]->trigger();
                break;
            case Way::ReturnByMenu:
                shortcut(Qt::Key_R);
                break;
            case Way::QuitByMenu:
                panel->Quit->trigger();
                break;
            case Way::Close:
                panel->close();
                break;
        }
    }
};

TEST_P(RunWayOut, RestoresOnceAndGoesWhereItShould) {
    const Way way = std::get<1>(GetParam());
    setRegs({{25, 1}});
    s.dialogs.answerQuestions({kYes});
    load();
    s.dialogs.answerQuestions({kYes});
    leaveBy(way);
    EXPECT_EQ(writes(), (std::vector<Write>{{248, 6000}, {32, 5000}, {25, 1}}));
    EXPECT_EQ(s.dialogs.questions(), std::vector<QString>{kBackF});
    EXPECT_EQ(s.drive.reg(248), 6000);
    EXPECT_FALSE(s.line.isHeld()) << "the port is closed";

    const bool back = way == Way::Return || way == Way::ReturnByMenu;
    const bool quit = way == Way::Quit || way == Way::QuitByMenu;
    EXPECT_EQ(menuShown, back ? 1 : 0);
    EXPECT_EQ(s.quitCalled, quit);
    if (back) {
        EXPECT_EQ(panel->Preview, 1);
    }
    flushDeletes();
    EXPECT_EQ(panel.isNull(), !quit) << "the window closes itself unless the program ends";

    // Whatever closes the window afterwards restores nothing more.
    forget();
    if (panel)
        panel->close();
    flushDeletes();
    EXPECT_TRUE(writes().empty());
    EXPECT_TRUE(s.dialogs.shown().empty());
    EXPECT_EQ(menuShown, back ? 1 : 0);
}

std::string wayName(const ::testing::TestParamInfo<std::tuple<bool, Way>>& info) {
    static const char* const names[] = {"Return", "Quit", "Close", "ReturnByMenu", "QuitByMenu"};
    return std::string(std::get<0>(info.param) ? "Rtu" : "Ascii") +
           names[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Ways, RunWayOut,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(Way::Return, Way::Quit, Way::Close,
                                                              Way::ReturnByMenu, Way::QuitByMenu)),
                         wayName);

TEST_F(RunEntry, AsciiReadsTheTopFrequencySignedAndWritesItBack) {
    setRegs({{248, 40000}, {32, 65000}});
    Form4* p = load();
    EXPECT_EQ(p->Flag248, -25536);
    EXPECT_EQ(p->Flag32, -536);
    s.drive.setReg(248, 123);
    p->close();
    EXPECT_EQ(writes(), (std::vector<Write>{{248, 40000}, {32, 65000}}));
}

TEST_P(RunEntryFraming, LeavingWhileRunningStopsTheMotorFirst) {
    for (Way way : {Way::Return, Way::Quit, Way::Close}) {
        Form4* p = load();
        click(p->Command1);
        ASSERT_TRUE(s.drive.running());
        forget();
        // The stop of the way out goes unanswered once: the technician is told.
        if (way == Way::Quit)
            s.drive.injectFault({DriveFault::Kind::NoReply});
        if (way == Way::Return)
            p->Return_Click();
        if (way == Way::Quit)
            p->Quit_Click();
        if (way == Way::Close)
            p->close();
        EXPECT_EQ(writes(), (std::vector<Write>{{kCmd, 1}, {248, 6000}, {32, 5000}}));
        EXPECT_FALSE(s.drive.running());
        EXPECT_EQ(s.dialogs.messages(),
                  way == Way::Quit ? std::vector<QString>{kNoAnswer} : std::vector<QString>{});
        delete panel.data();
        s.drive.setReg(32, 5000);
        s.drive.setReg(248, 6000);
    }
}

TEST_P(RunEntryFraming, LeavingWhileAJogButtonIsHeldStopsTheMotorFirst) {
    Form4* p = load();
    QTest::mousePress(p->Command4, Qt::LeftButton);
    forget();
    shortcut(Qt::Key_Q);
    EXPECT_EQ(writes(), (std::vector<Write>{{kCmd, 1}, {248, 6000}, {32, 5000}}));
    EXPECT_TRUE(s.quitCalled);
    // The release that comes later finds the port closed and sends nothing.
    QTest::mouseRelease(p->Command4, Qt::LeftButton);
    EXPECT_EQ(writes().size(), 3u);
}

TEST_P(RunEntryFraming, AWayOutDuringACommandWaitsForItsWord) {
    // The close box and the return, each while a run command is on the line.
    for (Way way : {Way::Close, Way::Return}) {
        Form4* p = load();
        during(10, [&] {
            if (way == Way::Close)
                p->close();
            else
                p->Return_Click();
        });
        click(p->Command1);
        EXPECT_EQ(writes(),
                  (std::vector<Write>{{32, 6000}, {kCmd, 18}, {kCmd, 1}, {248, 6000}, {32, 5000}}));
        flushDeletes();
        EXPECT_TRUE(panel.isNull());
        s.drive.setReg(32, 5000);
        s.drive.setReg(248, 6000);
    }
    EXPECT_EQ(menuShown, 1);
}

TEST_P(RunEntryFraming, ValuesNotReadAtEntryAreNeitherRaisedNorWrittenBack) {
    setRegs({{25, 1}, {5, 0}, {28, 1}});
    // No usable reply to the reads of 248, 25 and 5.
    onRequest = [this](const Request& r) {
        // A fault meets the request after the one just sent.
        if (r == Request{3, 32, 1} || r == Request{6, 32, 40000})
            s.drive.injectFault({DriveFault::Kind::NoReply});
        if (r == Request{3, 25, 1})
            s.drive.injectFault({DriveFault::Kind::CorruptChecksum});
    };
    s.dialogs.answerQuestions({kYes, kYes});
    Form4* p = load(false);
    // 25 unread: no question. 5 unread: asked as for a drive holding 0. 28 read as 1.
    EXPECT_EQ(s.dialogs.questions(), (std::vector<QString>{kAskR, kAskReverse}));
    EXPECT_EQ(writes(), (std::vector<Write>{{96, 0}, {32, 40000}, {5, 2}, {28, 0}}));
    EXPECT_EQ(p->Main_R, "");
    EXPECT_EQ(s.drive.reg(248), 6000);

    onRequest = nullptr;
    forget();
    s.dialogs.answerQuestions({kYes, kYes});
    p->Return_Click();
    EXPECT_EQ(writes(), (std::vector<Write>{{32, 5000}, {28, 1}}));
    EXPECT_EQ(s.dialogs.questions(), std::vector<QString>{kBackReverse});
}

TEST_F(RunEntry, ASilentDriveIsToldNothing) {
    Global.Station = 7;  // nobody answers there
    Form4* p = load(false);
    EXPECT_EQ(p->Combo1->currentIndex(), -1);
    EXPECT_EQ(p->Text3->text(), "0.00");
    // Only the run source question, as for a drive that holds 0; its write goes unanswered.
    EXPECT_EQ(s.dialogs.questions(), std::vector<QString>{kAskR});
    p->close();
    EXPECT_EQ(s.dialogs.questions().size(), 1u);
    EXPECT_TRUE(s.drive.writeLog().empty());
}

TEST_F(RunEntry, APortHeldElsewhereSendsBackToTheMenu) {
    s.line.setHeldElsewhere(true);
    QWidget* shown = showRunPanel(s.services);
    EXPECT_EQ(shown, &menuWindow);
    EXPECT_EQ(menuShown, 1);
    ASSERT_EQ(s.dialogs.shown().size(), 1u);
    EXPECT_EQ(s.dialogs.shown()[0].text,
              QStringLiteral("無法開啟通訊埠，請確認連接埠未被其他程式占用。"));
    EXPECT_EQ(s.dialogs.shown()[0].title, QStringLiteral("通訊錯誤"));
    EXPECT_TRUE(requests.empty());

    // With the port free the panel is shown.
    s.line.setHeldElsewhere(false);
    s.dialogs.clear();
    shown = showRunPanel(s.services);
    panel = qobject_cast<Form4*>(shown);
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(s.dialogs.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Framing, RunEntryFraming, ::testing::Bool(), framingName);
