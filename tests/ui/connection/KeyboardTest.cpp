// The first windows by keyboard alone: Enter in any field of the connection screen connects,
// Enter in the mode menu opens the editor (or presses the button that has the focus), Alt and
// the underlined letter press a button, Tab keeps the order the screen is built in, and every
// toolbar button has its letter.

#include <QTest>
#include <QtWidgets>

#include "ConnectionFixture.h"
#include "ui/editor/ParameterEditor.h"
#include "ui/menu/ModeMenu.h"
#include "ui/run/RunPanel.h"

using namespace velorin;
using velorin::test::child;
using velorin::test::ConnectionTest;

namespace {

// Keys as the system delivers them, through the window: an Alt+letter is then a shortcut.
void press(QWidget* focus, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    focus->window()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(focus->window()));
    focus->setFocus();
    QTest::keyClick(focus->window()->windowHandle(), key, modifiers);
}

}  // namespace

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
        SCOPED_TRACE(std::string(field) + " " +
                     QKeySequence(key | modifiers).toString().toStdString());
        open();
        list("rateList")->setCurrentIndex(1);  // 9600,N,7,2 at station 1: the drive's settings
        list("formatList")->setCurrentIndex(0);
        press(form->findChild<QWidget*>(field), key, modifiers);
        QTest::qWaitFor([&] { return !shown.empty(); }, 1000);  // Alt+letter clicks after 0.1 s
        EXPECT_EQ(shown, next);
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
        SCOPED_TRACE(std::string(focus) + " " +
                     QKeySequence(key | modifiers).toString().toStdString());
        opened.clear();
        QPointer<ModeMenu> menu = new ModeMenu(sim.services);
        menu->show();
        EXPECT_TRUE(child<QPushButton>(menu, "editorButton")->isDefault());
        press(child<QWidget>(menu, focus), key, modifiers);
        QTest::qWaitFor([&] { return !opened.empty(); }, 1000);
        EXPECT_EQ(opened, expected);
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
