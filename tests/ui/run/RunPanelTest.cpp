// The run panel's commands on the line, and the run session under it.

#include <gtest/gtest.h>
#include <QTest>
#include <QtWidgets>

#include "link/LinkSettings.h"
#include "link/Transaction.h"
#include "ui/run/RunBoxes.h"
#include "ui/run/RunPanel.h"
#include "sim/RequestReader.h"
#include "support/DriveWrites.h"
#include "support/SimServices.h"
#include "support/Widgets.h"

// Texts in failure messages as the technician reads them.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace velorin::test {

using Texts = std::vector<QString>;
inline constexpr int kCmd = 0x2000;
inline constexpr FunctionCode kRead = FunctionCode::ReadRegisters;
inline constexpr FunctionCode kWrite = FunctionCode::WriteRegister;
inline const QString kRange = QStringLiteral("頻率範圍超出1.50~400.00Hz，請重新輸入。");
inline const QString kCommError = QStringLiteral("通訊錯誤");

// A fault the drive meets at the next request of `function` for `reg`; `instead`, when given, is
// done in its place just before that request goes out.
struct Aim {
    FunctionCode function;
    int reg;
    DriveFault::Kind kind;
    std::function<void()> instead;
};

// COM1's simulated line, with every request watched for an aimed fault.
struct AimingPorts : PortProvider {
    explicit AimingPorts(SimulatedLine& line) : line(line) {}
    std::unique_ptr<SerialPort> createPort(TimedWait& wait) override {
        return std::make_unique<Port>(*this, wait);
    }
    QString deviceOf(int) const override { return QStringLiteral("SIM1"); }
    std::vector<ListedPort> listPorts() override { return {{1, deviceOf(1), PortState::Free}}; }
    struct Port : SimulatedPort {
        Port(AimingPorts& o, TimedWait& wait) : SimulatedPort(o.line, wait, "COM1"), owner(o) {}
        bool send(std::span<const std::uint8_t> b) override {
            const Framing framing = b[0] == ':' ? Framing::Ascii : Framing::Rtu;
            const DriveRequest rq = RequestReader(framing).feed(b).at(0);
            auto& aims = owner.aims;
            auto it = std::find_if(aims.begin(), aims.end(), [&](const Aim& a) {
                return a.function == FunctionCode{rq.function} && a.reg == rq.reg;
            });
            if (it != aims.end()) {
                const Aim hit = *it;
                aims.erase(it);
                hit.instead ? hit.instead()
                            : owner.line.drive().injectFault(
                                  {.kind = hit.kind, .exceptionCode = ExceptionCode::IllegalValue});
            }
            return SimulatedPort::send(b);
        }
        AimingPorts& owner;
    };
    SimulatedLine& line;
    std::vector<Aim> aims;
};

class RunFixture : public ::testing::Test {
protected:
    void SetUp() override {
        s.services.setLink({1, framing, false, 1, isRtu(framing) ? "9600,N,8,2" : "9600,N,7,2"});
        if (isRtu(framing))
            s.drive.setLink(1, 1, 3);  // station 1, 9600, N,8,2
        s.services.ports = &aiming;
        s.services.windows.menu = [this] {
            ++menuShown;
            return &menuWindow;
        };
        // A drive that takes its commands from the link already.
        setRegs({{96, 0}, {97, 1000}, {98, 2000}, {32, 5000}, {248, 6000}, {25, 0}, {5, 2}, {28, 0},
                 {48, 600}});
    }
    void TearDown() override {
        delete panel.data();
        flushDeletes();
    }
    void setRegs(std::initializer_list<std::pair<int, int>> regs) {
        for (auto [r, v] : regs) s.drive.setReg(r, static_cast<std::uint16_t>(v));
    }
    // Creates the panel and runs its entry; `clean` forgets what the entry did on the line.
    RunPanel* load(bool clean = true) {
        panel = new RunPanel(s.services, {nullptr, [this] { return s.services.windows.menu(); }});
        EXPECT_TRUE(panel->load());
        panel->show();
        if (clean)
            forget();
        return panel;
    }
    void forget() { s.drive.clearWriteLog(), s.dialogs.clear(); }
    Writes writes() const { return writesOf(s.drive); }
    void during(int ms, std::function<void()> f) { s.clock.after(Micros{ms * 1000}, std::move(f)); }
    static void flushDeletes() { QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    void enter(QLineEdit* field, const QString& text) {
        field->setText(text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    // Sets the slider to each value in turn, as a drag does.
    void slide(std::initializer_list<int> values) {
        for (int value : values) {
            slider()->setValue(value);
            QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(slider(), &move);
        }
    }

    template <class T = QWidget>
    T* child(const char* name) const { return test::child<T>(panel.data(), name); }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
    QComboBox* unitCombo() const { return child<QComboBox>("rampUnitCombo"); }
    QSlider* slider() const { return child<QSlider>("frequencySlider"); }

    RunSession& enterSession() {
        session = std::make_unique<RunSession>(createLineSession(s.services),
                                               runBoxes(s.services, nullptr));
        EXPECT_TRUE(session->open(s.services.link()) && session->enter());
        forget();
        return *session;
    }
    void aim(const Aim& a, int times = 1) { aiming.aims.insert(aiming.aims.end(), times, a); }
    // The next write of `reg` is carried out but never confirmed (a command's three tries too).
    void unconfirmed(int reg) {
        if (reg == kCmd)
            return aim({kWrite, reg, DriveFault::Kind::NoReply}, 3);
        aim({kWrite, reg, DriveFault::Kind::NoReply, [this, reg] {
                 s.drive.injectFault({DriveFault::Kind::NoReply});
                 aim({kRead, reg, DriveFault::Kind::NoReply}, 3);
             }});
    }
    // Sets the motor turning, as the drive's own keypad would.
    void startMotorElsewhere() {
        SimulatedPort port(s.line, s.clock);
        port.setSettings(s.services.link().settings);
        port.open();
        transact(port, framing, 1, kWrite, kCmd, 18);
        port.close();
        s.drive.clearWriteLog();
    }

    Framing framing = Framing::Ascii;  // set before SetUp
    SimServices s;
    AimingPorts aiming{s.line};
    std::unique_ptr<RunSession> session;
    QPointer<RunPanel> panel;
    QWidget menuWindow;
    int menuShown = 0;
};

class RunFraming : public RunFixture, public ::testing::WithParamInterface<int> {
protected:
    RunFraming() { framing = GetParam() % 2 ? Framing::Rtu : Framing::Ascii; }
};

TEST_P(RunFraming, RunWritesFrequencyThenRunWordAndStopTheStopWord) {
    load();
    // clang-format off
    const struct { const char* text; int value; } cases[] = {  // -1: refused
        {"1.5", 150}, {"60", 6000}, {"400", 40000}, {"1.49", -1}, {"400.01", -1}};
    // clang-format on
    for (const auto& c : cases) {
        for (auto [runButton, word] : {std::pair{button("runForwardButton"), 18},
                                       std::pair{button("runReverseButton"), 34}}) {
            SCOPED_TRACE(c.text);
            forget();
            edit("frequencyEdit")->setText(c.text);
            click(runButton);
            EXPECT_EQ(writes(), (c.value < 0 ? Writes{} : Writes{{32, c.value}, {kCmd, word}}));
            EXPECT_EQ(s.dialogs.messages(), (c.value < 0 ? Texts{kRange} : Texts{}));
            if (c.value < 0)
                continue;
            // Running: the stop opens, jogging and the unit close.
            EXPECT_TRUE(button("stopButton")->isEnabled() &&
                        !button("jogForwardButton")->isEnabled() && !unitCombo()->isEnabled());
            // The run command put the focus on the stop: Space or Enter stops.
            ASSERT_EQ(panel->focusWidget(), button("stopButton"));
            forget();
            QTest::keyClick(panel->focusWidget(), word == 18 ? Qt::Key_Space : Qt::Key_Return);
            EXPECT_EQ(writes(), (Writes{{kCmd, 1}}));
            // Stopped, nothing told, and the stop still at hand: a stop is always allowed.
            EXPECT_EQ(std::tuple(s.drive.running(), s.dialogs.shown().size(),
                                 button("stopButton")->isEnabled()), std::tuple(false, 0u, true));
        }
    }
    // A command never confirmed: the state line says so until one is.
    const QLabel* state = child<QLabel>("stateLabel");
    edit("frequencyEdit")->setText("60");
    unconfirmed(kCmd);
    click(button("runForwardButton"));
    EXPECT_EQ(state->text(), QStringLiteral("狀態未確認"));
    forget();
    unconfirmed(kCmd);
    click(button("stopButton"));
    EXPECT_EQ(writes(), (Writes{{kCmd, 1}, {kCmd, 1}, {kCmd, 1}}));  // sent three times
    EXPECT_EQ(s.dialogs.messages(), Texts{QStringLiteral("變頻機未回應，指令可能未送達。")});
    EXPECT_FALSE(panel->session().running());
    EXPECT_EQ(state->text(), QStringLiteral("狀態未確認"));
    EXPECT_TRUE(button("stopButton")->isEnabled());
    click(button("stopButton"));
    EXPECT_EQ(state->text(), QString());
}

// The jog starts at the drive's own P01.23 and puts it back on the way out (it once left 60.00).
TEST_P(RunFraming, JogWritesJogFrequencyJogWordThenStopAndTheDrivesValueGoesBack) {
    load();
    auto* note = panel->findChild<QLabel*>("noteLabel");
    EXPECT_EQ(edit("jogFrequencyEdit")->text(), "6.00");
    for (auto [jogButton, text] : {std::pair{button("jogForwardButton"), "6.00"},
                                   std::pair{button("jogReverseButton"), "400"}}) {
        edit("jogFrequencyEdit")->setText(text);
        QTest::mousePress(jogButton, Qt::LeftButton);
        EXPECT_TRUE(s.drive.running());
        QTest::mouseRelease(jogButton, Qt::LeftButton);
        EXPECT_EQ(note->text().contains("P01.23"), text[0] != '6');  // not the drive's own value
    }
    EXPECT_EQ(writes(),
              (Writes{{48, 600}, {kCmd, 19}, {kCmd, 1}, {48, 40000}, {kCmd, 35}, {kCmd, 1}}));
    EXPECT_FALSE(s.drive.running());
    // Released while the press's writes are still on the line: the stop follows them.
    forget();
    during(10, [&] { QTest::mouseRelease(button("jogForwardButton"), Qt::LeftButton); });
    QTest::mousePress(button("jogForwardButton"), Qt::LeftButton);
    EXPECT_EQ(writes(), (Writes{{48, 40000}, {kCmd, 19}, {kCmd, 1}}));
    edit("jogFrequencyEdit")->setText("12.50");
    QTest::mousePress(button("jogForwardButton"), Qt::LeftButton);
    QTest::mouseRelease(button("jogForwardButton"), Qt::LeftButton);
    edit("frequencyEdit")->setText("30");
    click(button("runForwardButton"));
    click(button("stopButton"));
    EXPECT_EQ(note->text(),
              "暫時變更：P01.23 寸動頻率 12.50 Hz、P09.02 最高輸出頻率 400.00 Hz、"
              "P01.07 頻率指令0 30.00 Hz（離開時還原）");
    forget();
    child<QAction>("returnAction")->trigger();
    flushDeletes();
    EXPECT_EQ(writes(), (Writes{{48, 600}, {248, 6000}, {32, 5000}}));
    EXPECT_EQ(s.drive.reg(48), 600);
}

TEST_P(RunFraming, NoBoxHoldsBackAStopOrAJogRelease) {
    load();
    std::vector<std::size_t> writesWhenShown;
    s.dialogs.onShow([&](const auto&) { writesWhenShown.push_back(writes().size()); });
    // An unconfirmed run with a stop clicked meanwhile: the stop goes out, then one box.
    unconfirmed(kCmd);
    during(10, [&] { click(button("stopButton")); });
    click(button("runForwardButton"));
    // An unconfirmed jog is reported after its release's stop, not while the button is held.
    unconfirmed(kCmd);
    QTest::mousePress(button("jogReverseButton"), Qt::LeftButton);
    EXPECT_EQ(writesWhenShown, std::vector<std::size_t>{5});
    QTest::mouseRelease(button("jogReverseButton"), Qt::LeftButton);
    EXPECT_EQ(writesWhenShown, (std::vector<std::size_t>{5, 10}));
}

TEST_P(RunFraming, SliderAndEnterWriteWhatTheyShowInTheOrderMade) {
    load();
    slide({1});  // the slider stops at the panel's lowest frequency
    EXPECT_EQ(edit("frequencyEdit")->text(), "01.50");
    slide({1});  // a move that changes nothing writes nothing
    EXPECT_EQ(writes(), (Writes{{32, 150}}));
    EXPECT_TRUE(s.dialogs.shown().empty());
    // Moves while a run command is on the line go out after its word, in the order made.
    forget();
    edit("frequencyEdit")->setText("60");
    during(10, [&] { slide({7000, 12345}); });
    click(button("runForwardButton"));
    EXPECT_EQ(writes(), (Writes{{32, 6000}, {kCmd, 18}, {32, 7000}, {32, 12345}}));
    EXPECT_EQ(edit("frequencyEdit")->text(), "123.45");
    // A stop clicked behind a drag's queued writes goes out first: the motor does not wait.
    forget();
    during(1, [&] {
        slide({2000, 3000});
        click(button("stopButton"));
    });
    slide({12346});
    EXPECT_EQ(writes(), (Writes{{32, 12346}, {kCmd, 1}, {32, 2000}, {32, 3000}}));
    // Enter writes the field as the run buttons would (the range itself: the session's test).
    forget();
    enter(edit("frequencyEdit"), "400.00");
    enter(edit("frequencyEdit"), "500");
    EXPECT_EQ(writes(), (Writes{{32, 40000}}));
    EXPECT_EQ(s.dialogs.messages(), Texts{kRange});
}

TEST_P(RunFraming, RampUnitAndRampTimesAreWrittenInTheChosenUnit) {
    load();
    EXPECT_EQ(unitCombo()->currentText() + " " + edit("accelTimeEdit")->text() + " " +
                  edit("decelTimeEdit")->text() + " " + edit("frequencyEdit")->text(),
              "0：0.01 sec 10.00 20.00 60.00");  // the jog's: the jog's test
    const Texts refused{QStringLiteral("加速度範圍錯誤!。"), QStringLiteral("減速度範圍錯誤!。")};
    // clang-format off
    const struct { int unit; bool decel; const char* typed; const char* shown; int written; }
    cases[] = {
        {0, false, "12.345", "12.34", 1234}, {1, false, "6000", "6000.0", 60000},
        {0, false, "600.01", "600.01", -1},  {1, true, "6000.06", "6000.1", -1},  // -1: refused
        {0, false, "-0.01", "-0.01", -1},    {1, true, "-1", "-1.0", -1},
        {0, false, "1e400", "1e400", -1},    {0, true, "0", "0.00", 0}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        forget();
        unitCombo()->setCurrentIndex(c.unit);  // as the technician picks it
        emit unitCombo()->activated(c.unit);
        // The unit is written and both times read again and shown in it.
        EXPECT_EQ(writes(), (Writes{{96, c.unit}}));
        EXPECT_EQ(edit("decelTimeEdit")->text(), c.unit ? "200.0" : "20.00");
        forget();
        QLineEdit* field = c.decel ? edit("decelTimeEdit") : edit("accelTimeEdit");
        enter(field, c.typed);
        EXPECT_EQ(field->text(), c.shown);
        EXPECT_EQ(writes(), (c.written < 0 ? Writes{} : Writes{{c.decel ? 98 : 97, c.written}}));
        EXPECT_EQ(s.dialogs.messages(), (c.written < 0 ? Texts{refused[c.decel]} : Texts{}));
    }
}

// The session without its window. 500 once went out as 500 Hz, which the run buttons refused.
TEST_P(RunFraming, EnterWritesOnlyAFrequencyTheRunButtonsTake) {
    RunSession& r = enterSession();
    // clang-format off
    const struct { const char* typed; int written; } cases[] = {  // -1: refused
        {"400.00", 40000}, {"1.50", 150}, {" 60.005 ", 6000},  // half to even
        {"500", -1}, {"400.01", -1}, {"1.49", -1}, {"655.35", -1}, {"0", -1},
        {"-5", -1}, {"-0.01", -1}, {"abc", -1}, {"", -1}, {"12abc", -1}, {"1,5", -1},
        {"1e400", -1}, {"1e5", -1}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        forget();
        EXPECT_EQ(r.enterFrequency(c.typed), c.written >= 0);
        EXPECT_EQ(writes(), (c.written < 0 ? Writes{} : Writes{{32, c.written}}));
        EXPECT_EQ(s.dialogs.messages(), (c.written < 0 ? Texts{kRange} : Texts{}));
        if (c.written < 0)
            EXPECT_EQ(s.dialogs.shown().at(0).title, QStringLiteral("範圍錯誤"));
    }
}

TEST_P(RunFraming, ASettingTheDriveDidNotTakeIsTold) {
    using Ramp = RunSession::Ramp;
    RunSession& r = enterSession();
    // Refused: the drive keeps 0.01 s, and the panel shows it.
    aim({kWrite, 96, DriveFault::Kind::Exception});
    r.chooseRampUnit(1);
    EXPECT_EQ(r.rampUnit(), 0);
    EXPECT_EQ(r.rampTimeText(Ramp::Accel), "10.00");
    unconfirmed(97);
    r.enterRampTime(Ramp::Accel, "12.345");
    aim({kWrite, 98, DriveFault::Kind::Exception});
    r.enterRampTime(Ramp::Decel, "3");
    EXPECT_EQ(s.dialogs.messages(),
              (Texts{QStringLiteral("P03.00 加減速時間單位 未能設定為 1，請重新設定。"),
                     QStringLiteral("P03.01 加速時間1 未能設定為 12.34，請重新設定。"),
                     QStringLiteral("P03.02 減速時間1 未能設定為 3.00，請重新設定。")}));
    for (const auto& shown : s.dialogs.shown()) EXPECT_EQ(shown.title, kCommError);
    // Taken: nothing to tell.
    forget();
    r.chooseRampUnit(1);
    r.enterRampTime(Ramp::Accel, "12.3");
    EXPECT_EQ(writes(), (Writes{{96, 1}, {97, 123}}));
    EXPECT_TRUE(s.dialogs.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Framing, RunFraming, ::testing::Values(0, 1),
                         [](const auto& i) { return std::string(i.param ? "Rtu" : "Ascii"); });

TEST_P(RunFraming, ALostPortIsToldOnceAndEndsTheCommandUnderWay) {
    load();
    edit("frequencyEdit")->setText("60");
    // Unplugged while the run command's frequency is on the line, with a slider move queued.
    during(10, [&] {
        s.line.setPresent(false);
        slide({7000});
    });
    click(button("runForwardButton"));
    EXPECT_EQ(writes(), (Writes{{32, 6000}}));  // neither the run word nor the move went out
    click(button("stopButton"));
    slide({8000});
    EXPECT_EQ(writes(), (Writes{{32, 6000}}));
    EXPECT_EQ(s.dialogs.messages(), Texts{QStringLiteral("通訊埠已中斷，請檢查連接線。\n"
                                                         "接好後再進入運轉試車即重新連線。")});
    // The link line names the port as lost, and so does every window shown after it.
    EXPECT_EQ(panel->findChild<QLabel*>("linkLabel")->text(), "COM1（SIM1）　通訊埠已中斷");
    EXPECT_TRUE(s.services.portLost);
}

// On a drive on the link already nothing is asked; the way out writes back only what was read.
TEST_P(RunFraming, EntryAndExitWriteBackOnlyWhatWasRead) {
    const Writes raised{{96, 0}, {248, 40000}, {32, 40000}}, restored{{248, 6000}, {32, 5000}};
    // clang-format off
    const struct { const char* what; Writes regs; int unread; Writes entry, exit; } cases[] = {
        {"on the link", {}, -1, raised, restored},
        {"an unknown ramp unit is not written", {{96, 5}}, -1, {{248, 40000}, {32, 40000}}, restored},
        {"a top frequency above 32767", {{248, 40000}}, -1, raised, {{248, 40000}, {32, 5000}}},
        {"a top frequency not read is neither raised nor put back", {}, 248, {{96, 0}, {32, 40000}},
         {{32, 5000}}},
        // Register 5 would be asked about, and Yes would write 2.
        {"a question whose read failed is not asked", {{5, 0}}, 5, raised, restored}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setRegs({{96, 0}, {248, 6000}, {5, 2}});
        for (auto [r, v] : c.regs) s.drive.setReg(r, v);
        forget();
        if (c.unread >= 0)
            aim({kRead, c.unread, DriveFault::Kind::NoReply}, 3);
        s.dialogs.answerQuestions({Answer::Yes, Answer::Yes});
        load(false);
        EXPECT_EQ(writes(), c.entry);
        EXPECT_TRUE(s.dialogs.shown().empty());
        EXPECT_EQ(unitCombo()->currentIndex(), (c.regs == Writes{{96, 5}} ? -1 : 0));
        if (!isRtu(framing) && c.regs == Writes{{248, 40000}})
            EXPECT_EQ(panel->session().maxFrequencyAtEntry(), -25536);  // ASCII reads it signed
        // Every raise is told while the panel is open, the frequency command's too.
        const bool topRaised = c.unread != 248 && c.regs != Writes{{248, 40000}};
        EXPECT_EQ(panel->findChild<QLabel*>("noteLabel")->text(),
                  topRaised ? "暫時變更：P09.02 最高輸出頻率 400.00 Hz、P01.07 頻率指令0 400.00 Hz"
                              "（離開時還原）"
                            : "暫時變更：P01.07 頻率指令0 400.00 Hz（離開時還原）");
        EXPECT_EQ(panel->findChild<QLabel*>("linkLabel")->text(),
                  QStringLiteral("COM1（SIM1）　%1　%2　站號 1")
                      .arg(s.services.link().settings.c_str(), isRtu(framing) ? "RTU" : "ASCII"));
        forget();
        panel->close();
        flushDeletes();
        EXPECT_EQ(writes(), c.exit);
        EXPECT_TRUE(s.dialogs.shown().empty());
    }
}

TEST_F(RunFixture, SourcesSwitchedOnYesAreOfferedBackOnExit) {
    setRegs({{25, 1}, {5, 0}, {28, 3}});
    s.dialogs.answerQuestions({Answer::Yes, Answer::No, Answer::Yes});
    load(false);
    EXPECT_EQ(s.dialogs.questions(), (Texts{"是否自動將主頻率來源設定為通信輸入?",
                                            "是否自動將運轉訊號設定為通信輸入?", "是否解除禁止反轉?"}));
    // No: 5 left as it was.
    EXPECT_EQ(writes(), (Writes{{96, 0}, {248, 40000}, {32, 40000}, {25, 0}, {28, 0}}));
    // On the way out the two changed settings are offered back, the unchanged one is not.
    forget();
    s.dialogs.answerQuestions({Answer::Yes, Answer::No});
    child<QAction>("returnAction")->trigger();
    EXPECT_EQ(s.dialogs.questions(),
              (Texts{"是否自動將主頻率來源設定改回原始設定?", "是否自動將禁止反轉改回原始設定?"}));
    EXPECT_EQ(writes(), (Writes{{248, 6000}, {32, 5000}, {25, 1}}));  // No: 28 left
}

TEST_P(RunFraming, AnEntryThatCannotGoOnReturnsToTheMenu) {
    using Kind = DriveFault::Kind;
    // clang-format off
    const struct { std::function<void()> arrange; Writes written; const char* told; } cases[] = {
        {[&] { aim({kRead, 0x2101, Kind::NoReply}, 3); }, {}, "變頻機未回應，無法進入運轉試車。"},
        // 32 is written back too: a raise the drive did not confirm may have been carried out.
        {[&] { aim({kWrite, 32, Kind::Exception}); }, {{96, 0}, {248, 40000}, {248, 6000}, {32, 5000}},
         "P01.07 頻率指令0 未能設定為 400.00，無法進入運轉試車。"},
        {[&] { aim({kRead, 25, Kind::NoReply, [&] { s.line.setPresent(false); }}); }, {{96, 0}, {248, 40000}, {32, 40000}},
         "通訊埠已中斷，請檢查連接線。\n接好後再進入運轉試車即重新連線。\n"
         "P09.02 最高輸出頻率 未能還原為 60.00，請手動設定。\n"
         "P01.07 頻率指令0 未能還原為 50.00，請手動設定。"},
        // An adapter gone before the entry is lost, not taken by another program.
        {[&] { s.line.setPresent(false); }, {},
         "通訊埠已中斷，請檢查連接線。\n接好後再進入運轉試車即重新連線。"},
        {[&] { startMotorElsewhere(); }, {}, "變頻機運轉中，請先停止變頻機再進入運轉試車。"},
        {[&] { s.line.setHeldElsewhere(true); }, {}, "無法開啟通訊埠，請確認連接埠未被其他程式占用。"}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told);
        forget();
        menuShown = 0;
        s.line.setPresent(true);
        setRegs({{25, 1}});  // the entry ends before its questions
        c.arrange();
        EXPECT_EQ(showRunPanel(s.services, {nullptr, s.services.windows.menu}), &menuWindow);
        flushDeletes();
        EXPECT_EQ(std::pair(menuShown, writes()), std::pair(1, c.written));
        ASSERT_EQ(s.dialogs.shown().size(), 1u);
        EXPECT_EQ(s.dialogs.shown()[0].text, QString(c.told));
        const bool runs = QString(c.told).startsWith(QStringLiteral("變頻機運轉中"));
        EXPECT_EQ(s.dialogs.shown()[0].title, runs ? QStringLiteral("變頻機運轉中") : kCommError);
        s.line.setHeldElsewhere(false);
        EXPECT_FALSE(s.line.isHeld());
    }
}

class RunWayOut : public RunFraming {};

// One box names the write-backs refused or unanswered, with the values to set by hand.
TEST_P(RunWayOut, StopsRestoresOnceNamesWhatWasNotPutBackAndGoesWhereItShould) {
    const int way = GetParam() / 2;  // return, quit, window close
    setRegs({{25, 1}});
    s.dialogs.answerQuestions({Answer::Yes, Answer::Yes});
    load();
    click(button("runForwardButton"));
    forget();
    aim({kWrite, 248, DriveFault::Kind::Exception});
    unconfirmed(25);
    int menuShownAtBox = -1;
    s.dialogs.onShow([&](const ShownDialog&) { menuShownAtBox = menuShown; });
    if (way == 2)
        panel->close();
    else
        child<QAction>(way == 0 ? "returnToolAction" : "quitAction")->trigger();
    // 248 refused; 25 carried out but never confirmed.
    EXPECT_EQ(writes(), (Writes{{kCmd, 1}, {32, 5000}, {25, 1}}));
    EXPECT_EQ(s.dialogs.questions(), Texts{"是否自動將主頻率來源設定改回原始設定?"});
    EXPECT_EQ(s.dialogs.messages(),
              Texts{QStringLiteral("P09.02 最高輸出頻率 未能還原為 60.00，請手動設定。\n"
                                   "P01.00 頻率指令選擇1 未能還原為 1，請手動設定。")});
    EXPECT_EQ(s.dialogs.shown().back().title, kCommError);
    // The box came before the menu, the port is closed, Return shows the menu and Quit quits.
    EXPECT_EQ(std::tuple(menuShownAtBox, s.line.isHeld(), menuShown, s.quitCalled),
              std::tuple(0, false, way == 0 ? 1 : 0, way == 1));
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
    EXPECT_TRUE(panel.isNull() && !s.line.isHeld());
}

}  // namespace velorin::test
