// The run panel's window and its commands: what goes on the line for run, jog, stop, frequency
// and ramp times, in which order, and what the technician is told.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QToolBar>

#include "RunFixture.h"
#include "platform/Twips.h"

using namespace velorin;
using namespace velorin::test;

namespace {

const QString kRangeText = QStringLiteral("頻率範圍超出1.50~400.00Hz，請重新輸入。");
const QString kRangeTitle = QStringLiteral("範圍錯誤");
const QString kNoAnswer = QStringLiteral("變頻機未回應，指令可能未送達。");
const QString kCommError = QStringLiteral("通訊錯誤");

using RunPanel = RunFixture;

}  // namespace

TEST_F(RunPanel, WindowLayoutAndInitialTexts) {
    Form4* p = load();
    EXPECT_EQ(p->windowTitle(), "VELORIN");
    EXPECT_EQ(p->centralWidget()->size(), QSize(twipsToPixels(5895), twipsToPixels(6735 - 1140)));
    EXPECT_EQ(p->Toolbar1->height(), twipsToPixels(1140));

    EXPECT_EQ(p->Windows->title(), "視窗(&W)");
    EXPECT_EQ(p->Return->text(), "返回上一頁(&R)");
    EXPECT_EQ(p->Return->shortcut(), QKeySequence("Ctrl+R"));
    EXPECT_EQ(p->Quit->text(), "離開程式(&Q)");
    EXPECT_EQ(p->Quit->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(p->Toolbar1Buttons[0]->text(), "返回上一頁");
    EXPECT_EQ(p->Toolbar1Buttons[1]->text(), "離開程式");
    for (QAction* b : p->Toolbar1Buttons) {
        EXPECT_EQ(b->icon().availableSizes().value(0), QSize(48, 48));
    }

    // Positions are counted from the top of the client area, the toolbar's 1140 included.
    const struct {
        QWidget* w;
        QString text;
        QRect twips;
    } controls[] = {
        {p->Frame1, "", {120, 1200 - 1140, 5655, 3615}},
        {p->Label5, "加減速時間單位", {360, 240, 2175, 255}},
        {p->Combo1, "0：0.01 sec", {480, 600, 1935, 405}},
        {p->Label6, "加速時間", {2640, 240, 1215, 255}},
        {p->Text3, "10.00", {2640, 600, 1215, 405}},
        {p->Label7, "減速時間", {4080, 240, 1215, 255}},
        {p->Text4, "20.00", {4080, 600, 1215, 405}},
        {p->Label1, "運轉頻率", {3720, 1200, 1215, 255}},
        {p->Slider1, "", {360, 1560, 3255, 495}},
        {p->Text1, "60.00", {3720, 1560, 1215, 405}},
        {p->Label2, "Hz", {5040, 1680, 495, 255}},
        {p->Command1, "連續正轉", {360, 2280, 2450, 495}},
        {p->Command2, "連續反轉", {2880, 2280, 2450, 495}},
        {p->Command3, "停止", {360, 2880, 5000, 495}},
        {p->Frame2, "", {120, 4920 - 1140, 5655, 1695}},
        {p->Label4, "寸動頻率", {1080, 360, 1215, 255}},
        {p->Text2, "60.00", {2520, 240, 1215, 405}},
        {p->Label3, "Hz", {3960, 360, 495, 255}},
        {p->Command4, "寸動正轉", {360, 960, 2450, 495}},
        {p->Command5, "寸動反轉", {2880, 960, 2450, 495}},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.w->metaObject()->className() + (" " + c.text.toStdString()));
        EXPECT_EQ(c.w->geometry(),
                  twipsRect(c.twips.x(), c.twips.y(), c.twips.width(), c.twips.height()));
        // Labels, buttons and fields show a text, the list its selection, frames a title.
        const char* property = qobject_cast<QComboBox*>(c.w)   ? "currentText"
                               : qobject_cast<QGroupBox*>(c.w) ? "title"
                               : c.w == p->Slider1             ? "accessibleName"
                                                               : "text";
        EXPECT_EQ(c.w->property(property).toString(), c.text);
        if (auto* e = qobject_cast<QLineEdit*>(c.w)) {
            EXPECT_EQ(e->alignment(), Qt::AlignCenter);
        }
        if (!qobject_cast<QGroupBox*>(c.w) && c.w != p->Slider1) {
            EXPECT_DOUBLE_EQ(c.w->font().pointSizeF(), 14.25);
        }
    }
    EXPECT_FALSE(p->Combo1->isEditable());
    EXPECT_EQ(p->Combo1->count(), 2);
    EXPECT_EQ(p->Combo1->itemText(1), "1：0.1 sec");
    EXPECT_EQ(p->Slider1->minimum(), 1);
    EXPECT_EQ(p->Slider1->maximum(), 40000);
    EXPECT_EQ(p->Slider1->value(), 6000);
    EXPECT_EQ(p->Slider1->tickInterval(), 5000);
    EXPECT_EQ(p->Slider1->pageStep(), 10);
    EXPECT_EQ(p->Slider1->singleStep(), 1);
    // Stopped: everything but the stop button.
    EXPECT_FALSE(p->Command3->isEnabled());
    for (QWidget* w : {(QWidget*)p->Command1, (QWidget*)p->Command2, (QWidget*)p->Command4,
                       (QWidget*)p->Command5, (QWidget*)p->Combo1})
        EXPECT_TRUE(w->isEnabled());
}

// ---- In both framings ----

TEST_P(RunFraming, RunWritesFrequencyThenRunWordAndLocksThePanel) {
    const struct {
        const char* text;
        int value;
    } cases[] = {{"1.5", 150}, {"60", 6000}, {"400", 40000}, {"60.004", 6000}, {"75abc", 7500}};
    for (const auto& c : cases) {
        for (auto [button, word] : {std::pair{0, 18}, std::pair{1, 34}}) {
            Form4* p = load();
            p->Text1->setText(c.text);
            click(button == 0 ? p->Command1 : p->Command2);
            EXPECT_EQ(writes(), (std::vector<Write>{{32, c.value}, {kCmd, word}})) << c.text;
            EXPECT_TRUE(s.drive.running());
            EXPECT_TRUE(p->Command3->isEnabled());
            EXPECT_FALSE(p->Command1->isEnabled() || p->Command2->isEnabled() ||
                         p->Command4->isEnabled() || p->Command5->isEnabled() ||
                         p->Combo1->isEnabled());
            EXPECT_TRUE(p->Text1->isEnabled() && p->Slider1->isEnabled() && p->Text3->isEnabled());
            forget();
            click(p->Command3);
            EXPECT_EQ(writes(), (std::vector<Write>{{kCmd, 1}}));
            EXPECT_FALSE(s.drive.running());
            EXPECT_FALSE(p->Command3->isEnabled());
            EXPECT_TRUE(p->Command1->isEnabled() && p->Combo1->isEnabled());
            EXPECT_TRUE(s.dialogs.shown().empty());
            delete panel.data();
        }
    }
}

TEST_P(RunFraming, RunOutsideTheRangeIsRefusedWithNothingWritten) {
    Form4* p = load();
    for (const char* text : {"1.49", "400.01", "0", "", "abc", "-60"}) {
        p->Text1->setText(text);
        click(p->Command1);
        click(p->Command2);
    }
    EXPECT_TRUE(writes().empty());
    EXPECT_TRUE(requests.empty());
    ASSERT_EQ(s.dialogs.shown().size(), 12u);
    EXPECT_EQ(s.dialogs.shown()[0].text, kRangeText);
    EXPECT_EQ(s.dialogs.shown()[0].title, kRangeTitle);
    EXPECT_FALSE(p->Command3->isEnabled());
    EXPECT_TRUE(p->Command1->isEnabled());
}

TEST_P(RunFraming, JogWritesJogFrequencyJogWordThenStop) {
    Form4* p = load();
    p->Text2->setText("5");
    QTest::mousePress(p->Command4, Qt::LeftButton);
    EXPECT_TRUE(s.drive.running());
    QTest::mouseRelease(p->Command4, Qt::LeftButton);
    p->Text2->setText("400");
    QTest::mousePress(p->Command5, Qt::RightButton);
    QTest::mouseRelease(p->Command5, Qt::RightButton);
    EXPECT_EQ(writes(), (std::vector<Write>{
                            {48, 500}, {kCmd, 19}, {kCmd, 1}, {48, 40000}, {kCmd, 35}, {kCmd, 1}}));
    EXPECT_FALSE(s.drive.running());
    // Jogging leaves the panel in the stopped state.
    EXPECT_FALSE(p->Command3->isEnabled());

    // Out of range: nothing on the press; the release still sends the stop word.
    forget();
    p->Text2->setText("0");
    QTest::mousePress(p->Command4, Qt::LeftButton);
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(s.dialogs.messages(), std::vector<QString>{kRangeText});
    QTest::mouseRelease(p->Command4, Qt::LeftButton);
    EXPECT_EQ(writes(), (std::vector<Write>{{kCmd, 1}}));
}

TEST_P(RunFraming, StopArrivingDuringACommandGoesOutAfterItsWord) {
    Form4* p = load();
    // A jog released at once, while its jog frequency is still on the line.
    during(10, [&] { QTest::mouseRelease(p->Command4, Qt::LeftButton); });
    QTest::mousePress(p->Command4, Qt::LeftButton);
    EXPECT_EQ(writes(), (std::vector<Write>{{48, 6000}, {kCmd, 19}, {kCmd, 1}}));

    // Stop clicked between the run frequency and the run word.
    forget();
    during(10, [&] { click(p->Command3); });
    click(p->Command1);
    EXPECT_EQ(writes(), (std::vector<Write>{{32, 6000}, {kCmd, 18}, {kCmd, 1}}));
    EXPECT_FALSE(s.drive.running());
    EXPECT_FALSE(p->running());
    EXPECT_FALSE(p->Command3->isEnabled());

    // Stop clicked while the run word itself is awaited; then run again at once.
    forget();
    atRequest({6, kCmd, 18}, [&] {
        click(p->Command3);
        click(p->Command2);
    });
    click(p->Command1);
    EXPECT_EQ(writes(),
              (std::vector<Write>{{32, 6000}, {kCmd, 18}, {kCmd, 1}, {32, 6000}, {kCmd, 34}}));
    EXPECT_TRUE(p->running());
}

TEST_P(RunFraming, SliderWritesWhatItShowsInTheOrderMoved) {
    Form4* p = load();
    p->Slider1->setValue(1);
    hoverSlider();
    EXPECT_EQ(p->Text1->text(), "00.01");
    EXPECT_EQ(writes(), (std::vector<Write>{{32, 1}}));
    EXPECT_TRUE(s.dialogs.shown().empty());
    // The slider does not follow the text below 1.5 Hz.
    EXPECT_EQ(p->Slider1->value(), 1);
    // A move that changes nothing writes nothing.
    hoverSlider();
    EXPECT_EQ(writes().size(), 1u);

    // Moves while a run command is on the line go out after it, in the order made.
    forget();
    p->Text1->setText("60");
    during(10, [&] {
        p->Slider1->setValue(7000);
        hoverSlider();
        p->Slider1->setValue(40000);
        hoverSlider();
    });
    atRequest({6, 32, 7000}, [&] {
        p->Slider1->setValue(12345);
        hoverSlider();
    });
    click(p->Command1);
    EXPECT_EQ(writes(),
              (std::vector<Write>{{32, 6000}, {kCmd, 18}, {32, 7000}, {32, 40000}, {32, 12345}}));
    EXPECT_EQ(p->Text1->text(), "123.45");

    // A stop clicked behind a drag's queued writes goes out first: the motor does not wait.
    forget();
    atRequest({6, 32, 12346}, [&] {
        p->Slider1->setValue(2000);
        hoverSlider();
        p->Slider1->setValue(3000);
        hoverSlider();
        click(p->Command3);
    });
    p->Slider1->setValue(12345 + 1);
    hoverSlider();
    EXPECT_EQ(writes(), (std::vector<Write>{{32, 12346}, {kCmd, 1}, {32, 2000}, {32, 3000}}));
}

TEST_P(RunFraming, FrequencyTextMovesTheSliderAndEnterWritesIt) {
    Form4* p = load();
    const struct {
        const char* text;
        int slider;  // where the slider stands afterwards
    } typed[] = {{"75", 7500},   {"500", 7500},      {"1.5", 150},  {"1.2", 150},
                 {"400", 40000}, {"123.456", 12346}, {"abc", 12346}};
    for (const auto& t : typed) {
        p->Text1->setText(t.text);
        EXPECT_EQ(p->Slider1->value(), t.slider) << t.text;
    }
    EXPECT_TRUE(writes().empty());

    // Enter writes without a range check and without reformatting the text.
    const struct {
        const char* text;
        int value;
    } entered[] = {{"500", 50000}, {"60.005", 6000}, {"0", 0}, {"-5", 65536 - 500}};
    for (const auto& e : entered) {
        forget();
        enter(p->Text1, e.text);
        EXPECT_EQ(writes(), (std::vector<Write>{{32, e.value}})) << e.text;
        EXPECT_EQ(p->Text1->text(), e.text);
        EXPECT_TRUE(s.dialogs.shown().empty());
    }
    // A frequency the register cannot hold would arrive as another one: refused.
    forget();
    enter(p->Text1, "1000");
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(s.dialogs.messages(), std::vector<QString>{kRangeText});
}

TEST_P(RunFraming, RampUnitRewritesTheUnitAndRereadsBothTimes) {
    setRegs({{97, 100}, {98, 60000}});
    Form4* p = load();
    EXPECT_EQ(p->Text3->text(), "1.00");
    EXPECT_EQ(p->Text4->text(), "600.00");  // read signed in ASCII, shown as the long ramp it is
    p->Combo1->setCurrentIndex(1);
    p->Combo1_Click();
    EXPECT_EQ(writes(), (std::vector<Write>{{96, 1}}));
    EXPECT_EQ(requests, (std::vector<Request>{{6, 96, 1}, {3, 97, 1}, {3, 98, 1}}));
    EXPECT_EQ(p->Flag96, 1);
    EXPECT_EQ(p->Text3->text(), "10.0");
    EXPECT_EQ(p->Text4->text(), "6000.0");
    p->Combo1->setCurrentIndex(0);
    p->Combo1_Click();
    EXPECT_EQ(p->Text3->text(), "1.00");
    EXPECT_EQ(s.drive.reg(96), 0);
}

TEST_P(RunFraming, RampTimesAreScaledRewrittenAndChecked) {
    Form4* p = load();
    const QString accel = QStringLiteral("加速度範圍錯誤!。");
    const QString decel = QStringLiteral("減速度範圍錯誤!。");
    const struct {
        int unit;
        bool decelField;
        const char* typed;
        const char* shown;
        int written;  // -1: refused
    } cases[] = {
        {0, false, "12.345", "12.34", 1234},
        {1, false, "6000", "6000.0", 60000},
        {0, false, "600.01", "600.01", -1},
        {1, false, "12.34", "12.3", 123},
        {0, true, "600.01", "600.01", -1},
        {0, true, "0.125", "0.12", 12},
        {0, false, "0", "0.00", 0},
        {0, true, "-1", "-1.00", 65536 - 100},
        {1, true, "6000.05", "6000.0", 60000},
        {1, true, "6000.06", "6000.1", -1},
        {0, false, "1e12", "1e12", -1},
        {0, false, "-400", "-400.00", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        p->Combo1->setCurrentIndex(c.unit);
        p->Combo1_Click();
        forget();
        QLineEdit* field = c.decelField ? p->Text4 : p->Text3;
        enter(field, c.typed);
        EXPECT_EQ(field->text(), c.shown);
        if (c.written >= 0) {
            EXPECT_EQ(writes(), (std::vector<Write>{{c.decelField ? 98 : 97, c.written}}));
            EXPECT_TRUE(s.dialogs.shown().empty());
        } else {
            EXPECT_TRUE(writes().empty());
            ASSERT_EQ(s.dialogs.shown().size(), 1u);
            EXPECT_EQ(s.dialogs.shown()[0].text, c.decelField ? decel : accel);
            EXPECT_EQ(s.dialogs.shown()[0].title, "ERROR");
        }
    }
}

// ---- Commands the drive does not confirm ----

TEST_P(RunFraming, UnconfirmedCommandsAreReportedOncePerCommand) {
    Form4* p = load();
    click(p->Command1);
    forget();
    s.drive.injectFault({DriveFault::Kind::NoReply});
    click(p->Command3);
    EXPECT_EQ(writes(), (std::vector<Write>{{kCmd, 1}}));  // carried out, but never confirmed
    ASSERT_EQ(s.dialogs.shown().size(), 1u);
    EXPECT_EQ(s.dialogs.shown()[0].text, kNoAnswer);
    EXPECT_EQ(s.dialogs.shown()[0].title, kCommError);
    // The panel follows the button all the same.
    EXPECT_FALSE(p->running());
    EXPECT_TRUE(p->Command1->isEnabled());

    // A run of two unanswered writes, a slider move and Enter in the frequency: one box each.
    forget();
    s.drive.injectFault({DriveFault::Kind::NoReply}, 2);
    click(p->Command2);
    EXPECT_EQ(s.dialogs.messages(), std::vector<QString>{kNoAnswer});
    s.drive.injectFault({DriveFault::Kind::Exception});
    p->Slider1->setValue(2000);
    hoverSlider();
    s.drive.injectFault({DriveFault::Kind::CorruptChecksum});
    enter(p->Text1, "20");
    EXPECT_EQ(s.dialogs.messages().size(), 3u);
    // Ramp writes are not commands to the motor: no box.
    s.drive.injectFault({DriveFault::Kind::NoReply});
    enter(p->Text3, "5");
    EXPECT_EQ(s.dialogs.messages().size(), 3u);
}

TEST_P(RunFraming, NoBoxHoldsBackAStopOrAJogRelease) {
    Form4* p = load();
    std::vector<std::size_t> writesWhenShown;
    s.dialogs.onShow([&](const ShownDialog&) { writesWhenShown.push_back(writes().size()); });

    // The run is never confirmed and a stop is clicked meanwhile: the stop goes out first, and
    // one box tells of both.
    s.drive.injectFault({DriveFault::Kind::NoReply}, 3);
    during(10, [&] { click(p->Command3); });
    click(p->Command1);
    EXPECT_EQ(writes(), (std::vector<Write>{{32, 6000}, {kCmd, 18}, {kCmd, 1}}));
    EXPECT_EQ(writesWhenShown, std::vector<std::size_t>{3});

    // An unconfirmed jog press is reported after its release's stop, not while the button is
    // held.
    forget();
    writesWhenShown.clear();
    s.drive.injectFault({DriveFault::Kind::NoReply}, 2);
    QTest::mousePress(p->Command5, Qt::LeftButton);
    EXPECT_TRUE(s.dialogs.shown().empty());
    QTest::mouseRelease(p->Command5, Qt::LeftButton);
    EXPECT_EQ(writesWhenShown, std::vector<std::size_t>{3});
    EXPECT_EQ(s.dialogs.messages(), std::vector<QString>{kNoAnswer});
}

INSTANTIATE_TEST_SUITE_P(Framing, RunFraming, ::testing::Bool(), framingName);
