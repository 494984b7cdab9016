// The run panel's window and its commands: what goes on the line for run, jog, stop, frequency
// and ramp times, in which order, and what the technician is told.

#include "RunFixture.h"
#include "platform/Twips.h"

using namespace velorin;
using namespace velorin::test;

namespace {
const QString kRange = QStringLiteral("頻率範圍超出1.50~400.00Hz，請重新輸入。");
}  // namespace

TEST_F(RunFixture, WindowLayoutAndInitialTexts) {
    Form4* p = load();
    EXPECT_EQ(p->windowTitle(), "VELORIN");
    // Twips: frames from the top of the client area below the toolbar's 1140, controls from the
    // top of their frame; the first frame's controls come first.
    // clang-format off
    const struct { QWidget* w; const char* text; int x, y, width, height; } controls[] = {
        {p->Frame1, "", 120, 60, 5655, 3615}, {p->Label5, "加減速時間單位", 360, 240, 2175, 255},
        {p->Combo1, "0：0.01 sec", 480, 600, 1935, 405}, {p->Text3, "10.00", 2640, 600, 1215, 405},
        {p->Label6, "加速時間", 2640, 240, 1215, 255}, {p->Text4, "20.00", 4080, 600, 1215, 405},
        {p->Label7, "減速時間", 4080, 240, 1215, 255}, {p->Text1, "60.00", 3720, 1560, 1215, 405},
        {p->Label1, "運轉頻率", 3720, 1200, 1215, 255}, {p->Command3, "停止", 360, 2880, 5000, 495},
        {p->Slider1, "", 360, 1560, 3255, 495}, {p->Command2, "連續反轉", 2880, 2280, 2450, 495},
        {p->Command1, "連續正轉", 360, 2280, 2450, 495}, {p->Label2, "Hz", 5040, 1680, 495, 255},
        {p->Frame2, "", 120, 3780, 5655, 1695}, {p->Label4, "寸動頻率", 1080, 360, 1215, 255},
        {p->Text2, "60.00", 2520, 240, 1215, 405}, {p->Command4, "寸動正轉", 360, 960, 2450, 495},
        {p->Label3, "Hz", 3960, 360, 495, 255}, {p->Command5, "寸動反轉", 2880, 960, 2450, 495}};
    // clang-format on
    for (const auto& c : controls) {
        EXPECT_EQ(c.w->geometry(), twipsRect(c.x, c.y, c.width, c.height)) << c.text;
        const char* shown = qobject_cast<QComboBox*>(c.w) ? "currentText" : "text";
        EXPECT_EQ(c.w->property(shown).toString(), QString(c.text));
    }
}

TEST_P(RunFraming, RunWritesFrequencyThenRunWordAndStopTheStopWord) {
    Form4* p = load();
    // clang-format off
    const struct { const char* text; int value; } cases[] = {  // -1: refused
        {"1.5", 150}, {"60", 6000}, {"400", 40000}, {"1.49", -1}, {"400.01", -1}};
    // clang-format on
    for (const auto& c : cases) {
        for (auto [button, word] : {std::pair{p->Command1, 18}, std::pair{p->Command2, 34}}) {
            SCOPED_TRACE(c.text);
            forget();
            p->Text1->setText(c.text);
            click(button);
            EXPECT_EQ(writes(), (c.value < 0 ? Writes{} : Writes{{32, c.value}, {kCmd, word}}));
            EXPECT_EQ(s.dialogs.messages(), (c.value < 0 ? Texts{kRange} : Texts{}));
            if (c.value < 0)
                continue;
            // Running: the stop opens, jogging and the unit close.
            EXPECT_TRUE(p->Command3->isEnabled() && !p->Command4->isEnabled() &&
                        !p->Combo1->isEnabled());
            forget();
            click(p->Command3);
            EXPECT_EQ(writes(), (Writes{{kCmd, 1}}));
            EXPECT_FALSE(s.drive.running() || p->Command3->isEnabled());
            EXPECT_TRUE(s.dialogs.shown().empty());
        }
    }
    // A stop clicked while the run command is on the line goes out after its word.
    forget();
    p->Text1->setText("60");
    during(10, [&] { click(p->Command3); });
    click(p->Command1);
    EXPECT_EQ(writes(), (Writes{{32, 6000}, {kCmd, 18}, {kCmd, 1}}));
    EXPECT_FALSE(s.drive.running() || p->running());
    // A stop the drive carries out but never confirms is told of; the panel stops all the same.
    click(p->Command1);
    forget();
    s.drive.injectFault({DriveFault::Kind::NoReply});
    click(p->Command3);
    EXPECT_EQ(writes(), (Writes{{kCmd, 1}}));
    EXPECT_EQ(s.dialogs.messages(), Texts{QStringLiteral("變頻機未回應，指令可能未送達。")});
    EXPECT_FALSE(p->running());
}

TEST_P(RunFraming, JogWritesJogFrequencyJogWordThenStop) {
    Form4* p = load();
    for (auto [button, text] : {std::pair{p->Command4, "5"}, std::pair{p->Command5, "400"}}) {
        p->Text2->setText(text);
        QTest::mousePress(button, Qt::LeftButton);
        EXPECT_TRUE(s.drive.running());
        QTest::mouseRelease(button, Qt::LeftButton);
    }
    EXPECT_EQ(writes(),
              (Writes{{48, 500}, {kCmd, 19}, {kCmd, 1}, {48, 40000}, {kCmd, 35}, {kCmd, 1}}));
    EXPECT_FALSE(s.drive.running() || p->Command3->isEnabled());
    // Released while the press's writes are still on the line: the stop follows them.
    forget();
    during(10, [&] { QTest::mouseRelease(p->Command4, Qt::LeftButton); });
    QTest::mousePress(p->Command4, Qt::LeftButton);
    EXPECT_EQ(writes(), (Writes{{48, 40000}, {kCmd, 19}, {kCmd, 1}}));
}

TEST_P(RunFraming, NoBoxHoldsBackAStopOrAJogRelease) {
    Form4* p = load();
    std::vector<std::size_t> writesWhenShown;
    s.dialogs.onShow([&](const auto&) { writesWhenShown.push_back(writes().size()); });
    // An unconfirmed run with a stop clicked meanwhile: the stop goes out, then one box.
    s.drive.injectFault({DriveFault::Kind::NoReply}, 3);
    during(10, [&] { click(p->Command3); });
    click(p->Command1);
    // An unconfirmed jog is reported after its release's stop, not while the button is held.
    s.drive.injectFault({DriveFault::Kind::NoReply}, 2);
    QTest::mousePress(p->Command5, Qt::LeftButton);
    EXPECT_EQ(writesWhenShown, std::vector<std::size_t>{3});
    QTest::mouseRelease(p->Command5, Qt::LeftButton);
    EXPECT_EQ(writesWhenShown, (std::vector<std::size_t>{3, 6}));
}

TEST_P(RunFraming, SliderWritesWhatItShowsInTheOrderMoved) {
    Form4* p = load();
    slide({1});
    EXPECT_EQ(p->Text1->text(), "00.01");
    slide({1});  // a move that changes nothing writes nothing
    EXPECT_EQ(writes(), (Writes{{32, 1}}));
    EXPECT_TRUE(s.dialogs.shown().empty());
    // Moves while a run command is on the line go out after its word, in the order made.
    forget();
    p->Text1->setText("60");
    during(10, [&] { slide({7000, 12345}); });
    click(p->Command1);
    EXPECT_EQ(writes(), (Writes{{32, 6000}, {kCmd, 18}, {32, 7000}, {32, 12345}}));
    EXPECT_EQ(p->Text1->text(), "123.45");
    // A stop clicked behind a drag's queued writes goes out first: the motor does not wait.
    forget();
    during(1, [&] {
        slide({2000, 3000});
        click(p->Command3);
    });
    slide({12346});
    EXPECT_EQ(writes(), (Writes{{32, 12346}, {kCmd, 1}, {32, 2000}, {32, 3000}}));
}

TEST_P(RunFraming, EnterWritesTheFrequencyTheRegisterCanHold) {
    Form4* p = load();
    enter(p->Text1, "500");  // no range check on Enter
    EXPECT_EQ(writes(), (Writes{{32, 50000}}));
    EXPECT_TRUE(s.dialogs.shown().empty());
    forget();
    enter(p->Text1, "1000");  // would arrive as another frequency
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(s.dialogs.messages(), Texts{kRange});
}

TEST_P(RunFraming, RampUnitAndRampTimesAreWrittenInTheChosenUnit) {
    Form4* p = load();
    const Texts refused{QStringLiteral("加速度範圍錯誤!。"), QStringLiteral("減速度範圍錯誤!。")};
    // clang-format off
    const struct { int unit; bool decel; const char* typed; const char* shown; int written; }
    cases[] = {
        {0, false, "12.345", "12.34", 1234}, {1, false, "6000", "6000.0", 60000},
        {0, false, "600.01", "600.01", -1},  {1, false, "12.34", "12.3", 123},
        {0, true, "600.01", "600.01", -1},   {1, true, "6000.06", "6000.1", -1}};  // -1: refused
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        forget();
        p->Combo1->setCurrentIndex(c.unit);
        p->Combo1_Click();
        // The unit is written and both times read again and shown in it.
        EXPECT_EQ(writes(), (Writes{{96, c.unit}}));
        EXPECT_EQ(p->Text4->text(), c.unit ? "200.0" : "20.00");
        forget();
        QLineEdit* field = c.decel ? p->Text4 : p->Text3;
        enter(field, c.typed);
        EXPECT_EQ(field->text(), c.shown);
        EXPECT_EQ(writes(), (c.written < 0 ? Writes{} : Writes{{c.decel ? 98 : 97, c.written}}));
        EXPECT_EQ(s.dialogs.messages(), (c.written < 0 ? Texts{refused[c.decel]} : Texts{}));
    }
}

INSTANTIATE_TEST_SUITE_P(Framing, RunFraming, ::testing::Values(0, 1),
                         [](const auto& i) { return std::string(i.param ? "Rtu" : "Ascii"); });
