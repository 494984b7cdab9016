#pragma once
// The run panel on a simulated drive whose requests can meet faults aimed at them.

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
    // Runs `f` while the panel waits for the drive, `ms` from now.
    void during(int ms, std::function<void()> f) { s.clock.after(Micros{ms * 1000}, std::move(f)); }
    static void flushDeletes() { QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    // Puts a text into a field and presses Enter in it.
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

    // A run session on its own, entered, its entry forgotten.
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

// Tests that hold in both framings take it as parameter: odd for RTU, even for ASCII.
class RunFraming : public RunFixture, public ::testing::WithParamInterface<int> {
protected:
    RunFraming() { framing = GetParam() % 2 ? Framing::Rtu : Framing::Ascii; }
};

}  // namespace velorin::test
