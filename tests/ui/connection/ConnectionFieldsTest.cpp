// The connection screen's fields as a new technician meets them: 自動搜尋 in the rate and format
// lists (the search, to be chosen again after a remembered choice), tooltips on the reply
// timeout and block reads, a timeout out of range refused with the range, a search line that
// never breaks inside a number and its unit, the device found last time chosen again though
// its COM number changed; 搜尋所有站號. And the first windows by keyboard alone: Enter in any
// field of the connection screen connects, Enter in the mode menu opens the editor (or presses
// the button that has the focus), Alt and the underlined letter press a button, Tab keeps the
// order the screen is built in, and every toolbar button has its letter.

#include <QTest>
#include <QTextLayout>
#include <QtWidgets>

#include "ConnectionFixture.h"
#include "model/FaultRegisters.h"
#include "ui/editor/ParameterEditor.h"
#include "ui/menu/ModeMenu.h"
#include "ui/run/RunPanel.h"

using namespace velorin;
using namespace std::chrono_literals;
using velorin::test::child;
using velorin::test::ConnectionTest;

namespace {

// COM1 and COM2 on simulated lines, named after the devices the test gives them.
struct RenamedPorts : test::SimPortProvider {
    std::map<int, QString> names;
    QString deviceOf(int comNumber) const override {
        return names.count(comNumber) ? names.at(comNumber) : QString();
    }
    std::vector<ListedPort> listPorts() override {
        std::vector<ListedPort> out = SimPortProvider::listPorts();
        for (ListedPort& p : out) p.device = deviceOf(p.comNumber);
        return out;
    }
};

// The lines `text` takes in a label `width` pixels wide.
QStringList linesOf(const QString& text, const QFont& font, int width) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

// Keys as the system delivers them, through the window: an Alt+letter is then a shortcut, which
// clicks after 0.1 s; `opened` is to name the window that came of them.
void press(QWidget* focus, Qt::Key key, Qt::KeyboardModifiers modifiers, const std::string& opened,
           const std::string& expected) {
    SCOPED_TRACE(focus->objectName().toStdString() + " " +
                 QKeySequence(key | modifiers).toString().toStdString());
    focus->window()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(focus->window()));
    focus->setFocus();
    QTest::keyClick(focus->window()->windowHandle(), key, modifiers);
    QTest::qWaitFor([&] { return !opened.empty(); }, 1000);
    EXPECT_EQ(opened, expected);
}

}  // namespace

TEST_F(ConnectionTest, AutoSearchEntriesTooltipsAndTheTimeoutRange) {
    sim.drive.setLink(1, 1, 0);
    open();
    for (const char* name : {"rateList", "formatList"}) {
        QComboBox* box = list(name);
        EXPECT_EQ(box->itemText(box->count() - 1), "自動搜尋") << name;
        EXPECT_EQ(box->placeholderText(), "自動搜尋") << name;
    }
    EXPECT_FALSE(child<QCheckBox>(form, "blockReadsBox")->toolTip().isEmpty());
    EXPECT_TRUE(child<QSpinBox>(form, "replyTimeoutBox")->toolTip().contains("20~5000"));

    // Typed and confirmed with Enter: refused with the range, the wait kept, nothing connects.
    auto* timeout = child<QSpinBox>(form, "replyTimeoutBox");
    const std::tuple<const char*, int, std::string> cases[] = {
        {"5", 100, "回應逾時錯誤: 回應逾時範圍為20~5000毫秒，請重新輸入。"},
        {"99999", 100, "回應逾時錯誤: 回應逾時範圍為20~5000毫秒，請重新輸入。"},
        {"250", 250, ""},
        {"19", 250, "回應逾時錯誤: 回應逾時範圍為20~5000毫秒，請重新輸入。"},
    };
    for (const auto& [typed, kept, box] : cases) {
        SCOPED_TRACE(typed);
        sim.dialogs.clear();
        timeout->setFocus();
        timeout->selectAll();
        QTest::keyClicks(timeout, typed);
        QTest::keyClick(timeout, Qt::Key_Return);
        EXPECT_EQ(timeout->value(), kept);
        EXPECT_EQ(sim.services.replyTimeout, std::chrono::milliseconds(kept));
        EXPECT_EQ(boxes(), box);
        if (!box.empty())
            EXPECT_EQ(shown, "");
        shown.clear();
    }
}

TEST_F(ConnectionTest, TheSearchLineKeepsNumbersWithTheirUnits) {
    sim.drive.setLink(200, 1, 0);  // far into the search
    open();
    QStringList seen;
    sim.clock.after(2s, [&] {
        auto* line = child<QLabel>(form, "statusLine");
        seen = linesOf(line->text(), line->font(), line->width());
        QTest::keyClick(form, Qt::Key_Escape);
    });
    click(-1, -1, "1");
    ASSERT_GE(seen.size(), 2) << seen.join('|').toStdString();
    const QRegularExpression brokenNumber(QStringLiteral("^[分秒次/\\d]"));
    for (int i = 1; i < seen.size(); ++i)
        EXPECT_FALSE(seen[i].contains(brokenNumber) && seen[i - 1].back().isDigit())
            << seen.join('|').toStdString();
    for (const QString& l : seen)
        EXPECT_FALSE(l.endsWith(QChar(0xA0)) || l.endsWith("第")) << l.toStdString();
}

TEST_F(ConnectionTest, TheDeviceFoundLastTimeIsChosenThoughItsNumberChanged) {
    QtSettings& kept = keepSettings();
    SimulatedLine other{sim.drive};
    RenamedPorts ports;
    ports.attach(1, sim.line);
    ports.attach(2, other);
    sim.services.ports = &ports;
    // Found on /dev/ttyUSB1 when it was COM2; now it is COM1.
    kept.setNumber("link/comPort", 2);
    kept.setText("link/device", "/dev/ttyUSB1");
    ports.names = {{1, "/dev/ttyUSB1"}, {2, "/dev/ttyUSB0"}};
    open();
    EXPECT_TRUE(list("portList")->currentText().startsWith("COM1"))
        << list("portList")->currentText().toStdString();
    // A connection keeps the device it found the drive on.
    list("portList")->setCurrentIndex(1);
    click(1, 0, "1");
    EXPECT_EQ(kept.text("link/device").value_or(""), "/dev/ttyUSB0");
}

TEST_F(ConnectionTest, EnterInAnyFieldConnectsAndAltPressesTheButtons) {
    const std::tuple<const char*, Qt::Key, Qt::KeyboardModifiers, std::string> cases[] = {
        {"portList", Qt::Key_Return, Qt::NoModifier, "menu"},
        {"rateList", Qt::Key_Enter, Qt::KeypadModifier, "menu"},
        {"formatList", Qt::Key_Return, Qt::NoModifier, "menu"},
        {"stationBox", Qt::Key_Return, Qt::NoModifier, "menu"},
        {"replyTimeoutBox", Qt::Key_Return, Qt::NoModifier, "menu"},
        {"blockReadsBox", Qt::Key_Return, Qt::NoModifier, "menu"},
        {"offlineButton", Qt::Key_Return, Qt::NoModifier, "editor"},  // the button in focus
        {"portList", Qt::Key_C, Qt::AltModifier, "menu"},
        {"stationBox", Qt::Key_O, Qt::AltModifier, "editor"},
    };
    for (const auto& [field, key, modifiers, next] : cases) {
        open();
        list("rateList")->setCurrentIndex(1);  // 9600,N,7,2 at station 1: the drive's settings
        list("formatList")->setCurrentIndex(0);
        press(form->findChild<QWidget*>(field), key, modifiers, shown, next);
    }
    open();
    EXPECT_TRUE(button("connectButton")->isDefault());
    QStringList order;  // Tab from the port list
    for (QWidget* w = list("portList"); order.size() < 8; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty() &&
            !w->objectName().startsWith("qt_") && w->isVisible() && w->window() == form &&
            !order.contains(w->objectName()))
            order << w->objectName();
    EXPECT_EQ(order.join(' ').toStdString(),
              "portList rateList formatList connectButton stationBox replyTimeoutBox blockReadsBox "
              "offlineButton");
}

TEST_F(ConnectionTest, EnterInTheModeMenuOpensTheEditorOrTheButtonInFocus) {
    sim.services.setLink({1, Framing::Ascii, false, 1, "9600,N,7,2"});
    std::string opened;
    const auto opens = [&opened](const char* name) {
        return [&opened, name](auto&&...) -> QWidget* { return opened = name, nullptr; };
    };
    sim.services.windows.editor = opens("editor");
    sim.services.windows.runPanel = opens("runPanel");
    sim.services.windows.connection = opens("connection");
    const std::tuple<const char*, Qt::Key, Qt::KeyboardModifiers, std::string> cases[] = {
        {"editorButton", Qt::Key_Return, Qt::NoModifier, "editor"},
        {"runPanelButton", Qt::Key_Return, Qt::NoModifier, "runPanel"},
        {"runPanelButton", Qt::Key_E, Qt::AltModifier, "editor"},
        {"editorButton", Qt::Key_R, Qt::AltModifier, "runPanel"},
        {"editorButton", Qt::Key_D, Qt::AltModifier, "connection"},
    };
    for (const auto& [focus, key, modifiers, expected] : cases) {
        opened.clear();
        QPointer<ModeMenu> menu = new ModeMenu(sim.services);
        menu->show();
        EXPECT_TRUE(child<QPushButton>(menu, "editorButton")->isDefault());
        press(child<QWidget>(menu, focus), key, modifiers, opened, expected);
        delete menu.data();
    }
}

// Every toolbar button shows an underlined letter, its Alt key; so do the editor's menu items.
TEST_F(ConnectionTest, EveryToolbarButtonAndMenuItemHasItsKey) {
    sim.services.setLink({1, Framing::Ascii, true, 1, "9600,N,7,2"});
    sim.services.windows.menu = []() -> QWidget* { return nullptr; };
    QPointer<QWidget> editor =
        showParameterEditor(sim.services, nullptr, {nullptr, [] { return nullptr; }});
    QPointer<QWidget> panel = new RunPanel(sim.services, {nullptr, [] { return nullptr; }});
    for (QWidget* window : {editor.data(), panel.data()}) {
        ASSERT_TRUE(window);
        const auto buttons = child<QToolBar>(window, "toolbar")->findChildren<QToolButton*>();
        int named = 0;
        for (const QToolButton* b : buttons) {
            if (!b->defaultAction() || b->defaultAction()->isSeparator())
                continue;
            ++named;
            EXPECT_FALSE(QKeySequence::mnemonic(b->text()).isEmpty()) << b->text().toStdString();
        }
        EXPECT_GE(named, 2) << window->objectName().toStdString();
        for (const QAction* a : window->findChildren<QAction*>())
            if (!a->text().isEmpty() && !a->isSeparator() && a->menu() == nullptr &&
                !a->objectName().endsWith("Button") && !a->objectName().endsWith("ToolAction"))
                EXPECT_TRUE(!QKeySequence::mnemonic(a->text()).isEmpty() ||
                            !a->shortcut().isEmpty())
                    << a->text().toStdString();
    }
    delete editor.data();
    delete panel.data();
}

namespace velorin::test {
namespace {

// 搜尋所有站號 on a line of three drives, one answering later than the reply wait: the list of
// them, a double click connects to the one chosen and the mode menu gets the list; Esc keeps
// the drives found so far. Which stations answer is the survey's own test.
class ConnectionSurveyTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        SimulatedDrive* drives[] = {&sim.drive, &second, &third};
        const int stations[] = {2, 3, 5};
        for (int i = 0; i < 3; ++i) {
            drives[i]->setLink(static_cast<std::uint8_t>(stations[i]), 1, 0);  // 9600,N,7,2
            drives[i]->setReg(faultregs::kModel, static_cast<std::uint16_t>(30 + i));
            drives[i]->setReg(faultregs::kRunHours, static_cast<std::uint16_t>(100 * (i + 1)));
            if (i > 0)
                sim.line.addDrive(*drives[i]);
        }
        // Station 3 answers later than the reply wait (100 ms).
        second.setResponseDelay(std::chrono::milliseconds(160));
    }
    void survey(int rate, int format) {
        list("rateList")->setCurrentIndex(rate);
        list("formatList")->setCurrentIndex(format);
        button("surveyButton")->click();
    }
    QTreeWidget* drives() { return child<QTreeWidget>(form, "driveList"); }
    QStringList rows() {
        QStringList out;
        for (int i = 0; i < drives()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = drives()->topLevelItem(i);
            out << item->text(0) + " " + item->text(1) + " " + item->text(2);
        }
        return out;
    }
    QString status() { return child<QLabel>(form, "statusLine")->text(); }

    SimulatedDrive second, third;
};

TEST_F(ConnectionSurveyTest, ListsEveryDriveAndConnectsToTheOneChosen) {
    open();
    EXPECT_FALSE(drives()->isVisible()) << "until a survey runs";
    survey(1, 0);
    EXPECT_EQ(rows(), QStringList({"2 30 100", "3 31 200", "5 32 300"}));
    EXPECT_EQ(status(), "找到 3 台變頻機，請選擇一台後連線。");
    EXPECT_EQ(boxes() + shown, "");
    EXPECT_FALSE(portOpen());

    // The third drive chosen and double-clicked: connected there, the list handed on.
    QTreeWidgetItem* fifth = drives()->topLevelItem(2);
    drives()->setCurrentItem(fifth);
    EXPECT_EQ(list("stationBox")->currentText(), "5");
    emit drives()->itemDoubleClicked(fifth, 0);
    EXPECT_EQ(shown, "menu");
    EXPECT_EQ(linkState(), "5 9600,N,7,2 RTU=0 COM1");
    const std::vector<SurveyedDrive> found = {{2, 30, 100}, {3, 31, 200}, {5, 32, 300}};
    EXPECT_EQ(sim.services.drives, found);
}

TEST_F(ConnectionSurveyTest, EscKeepsTheDrivesFoundSoFar) {
    third.setLink(200, 1, 0);  // far beyond the stop
    open();
    sim.clock.after(std::chrono::seconds(3), [&] { QTest::keyClick(form, Qt::Key_Escape); });
    survey(1, 0);
    EXPECT_EQ(rows(), QStringList({"2 30 100", "3 31 200"}));
    EXPECT_EQ(status(), "已停止搜尋，列出已找到的 2 台變頻機。");
    EXPECT_EQ(boxes() + enabled(), "++++++");
    EXPECT_FALSE(portOpen());

    // Nothing on the line at another rate: the search's own message, the choice kept.
    open();
    survey(2, 0);
    EXPECT_EQ(rows(), QStringList());
    EXPECT_EQ(boxes(), "連線錯誤: 未偵測到變頻機，請檢查連線。");
    EXPECT_EQ(list("rateList")->currentIndex(), 2);
}

}  // namespace
}  // namespace velorin::test
