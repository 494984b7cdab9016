#pragma once
// The run panel on a simulated drive: link state, a drive with every register the tests rely on
// set, a record of the transactions on the line, and ways to act while a reply is awaited.

#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "link/Global.h"
#include "link/MBus.h"
#include "run/Run.h"
#include "support/SimServices.h"

namespace velorin::test {

// One request as the drive sees it: function, register, value or count.
struct Request {
    int function;
    int reg;
    int word;
    bool operator==(const Request&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Request& r) {
    return os << "{" << r.function << ", " << r.reg << ", " << r.word << "}";
}

// A write the drive carried out, comparable in expectations.
struct Write {
    int reg;
    int value;
    bool operator==(const Write&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Write& w) {
    return os << "{" << w.reg << ", " << w.value << "}";
}

inline constexpr int kCmd = 0x2000;

inline Request decodeRequest(const std::vector<std::uint8_t>& bytes, bool rtu) {
    if (rtu) {
        return {bytes.at(1), bytes.at(2) << 8 | bytes.at(3), bytes.at(4) << 8 | bytes.at(5)};
    }
    const std::string text(bytes.begin(), bytes.end());
    auto field = [&](int at, int len) { return std::stoi(text.substr(at, len), nullptr, 16); };
    return {field(3, 2), field(5, 4), field(9, 4)};
}

class RunFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Global = {};
        Global.Station = 1;
        Global.COM_Port = 1;
        Global.COM_Set = "9600,N,7,2";
        Global.RTU = 0;
        s.services.windows.menu = [this]() -> QWidget* {
            ++menuShown;
            return &menuWindow;
        };
        // A drive that takes its commands from the link already.
        // clang-format off
        setRegs({{96, 0}, {97, 1000}, {98, 2000}, {32, 5000}, {248, 6000}, {25, 0}, {5, 2},
                 {28, 0}, {48, 600}});
        // clang-format on
        setLinkTrace([this](const LinkTraceEvent& e) {
            if (e.sent)
                requests.push_back(decodeRequest(e.bytes, e.rtu));
            if (onRequest && e.sent) {
                auto hook = onRequest;  // the hook may replace itself
                hook(requests.back());
            }
        });
    }

    void TearDown() override {
        setLinkTrace({});
        delete panel.data();
        flushDeletes();
    }

    void useRtu() {
        s.drive.setLink(1, 1, 3);  // station 1, 9600, N,8,2 RTU
        Global.RTU = 1;
        Global.COM_Set = "9600,N,8,2";
    }

    void setRegs(std::initializer_list<std::pair<int, int>> regs) {
        for (auto [r, v] : regs) s.drive.setReg(r, static_cast<std::uint16_t>(v));
    }

    // Creates the panel and runs its entry; `clean` forgets what the entry did on the line.
    Form4* load(bool clean = true) {
        panel = new Form4(s.services);
        EXPECT_TRUE(panel->Form_Load());
        panel->show();
        if (clean)
            forget();
        return panel;
    }

    // Texts and titles of the boxes shown so far.
    using Boxes = std::vector<std::pair<QString, QString>>;
    Boxes boxes() const {
        Boxes out;
        for (const auto& d : s.dialogs.shown()) out.emplace_back(d.text, d.title);
        return out;
    }

    void forget() {
        s.drive.clearWriteLog();
        s.dialogs.clear();
        requests.clear();
    }

    std::vector<Write> writes() const {
        std::vector<Write> out;
        for (const auto& w : s.drive.writeLog()) out.push_back({w.reg, w.value});
        return out;
    }

    // Runs `action` while the panel waits for the drive `delayMs` from now.
    void during(int delayMs, std::function<void()> action) {
        s.clock.after(Micros{delayMs * 1000}, std::move(action));
    }

    // Runs `action` while the drive's reply to `request` is awaited.
    void atRequest(Request request, std::function<void()> action) {
        onRequest = [this, request, action](const Request& sent) {
            if (!(sent == request))
                return;
            onRequest = nullptr;
            during(1, action);
        };
    }

    static void flushDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

    // Puts a text into a field and presses Enter in it.
    void enter(QLineEdit* field, const QString& text) {
        field->setText(text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    // Ctrl + key on the panel, made the active window so its menu shortcuts apply.
    void shortcut(Qt::Key key) {
        QApplication::setActiveWindow(panel);
        QTest::keyClick(panel, key, Qt::ControlModifier);
    }

    // A mouse move over the slider with no button held.
    void hoverSlider() {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5),
                         panel->Slider1->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(panel->Slider1, &move);
    }

    SimServices s;
    QPointer<Form4> panel;
    QWidget menuWindow;
    int menuShown = 0;
    std::vector<Request> requests;
    std::function<void(const Request&)> onRequest;
};

// The run panel's tests that hold for both framings take the framing as parameter.
class RunFraming : public RunFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        if (GetParam())
            useRtu();
    }
};

inline std::string framingName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Rtu" : "Ascii";
}

}  // namespace velorin::test
