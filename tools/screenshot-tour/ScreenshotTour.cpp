#include "ScreenshotTour.h"

#include <QApplication>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <tuple>

#include "app/DemoPorts.h"
#include "app/Screenshots.h"
#include "ui/connection/ConnectionWindow.h"
#include "ui/menu/ModeMenu.h"
#include "ui/editor/ParameterEditor.h"
#include "platform/EventLoopWait.h"
#include "ui/run/RunPanel.h"

namespace velorin {

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

template <class T>
T* child(QWidget* window, const char* name) {
    return window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
}

}  // namespace

QStringList takeScreenshotTour(Services& services, const QString& folder, bool atRest) {
    ScreenshotTaker screenshots(folder);
    DemoPortProvider ports;
    EventLoopWait wait;
    const auto [portsBefore, waitBefore, windowsBefore] =
        std::tuple(services.ports, services.wait, services.windows);
    services.ports = &ports;
    services.wait = &wait;
    QPointer<QWidget> menu, panel;
    services.windows.menu = [&]() -> QWidget* {
        menu = new ModeMenu(services);
        menu->show();
        return menu;
    };
    services.windows.runPanel = [&](const Opening& o) { return panel = showRunPanel(services, o); };
    services.windows.editor = [&](const Opening& o) {
        return showParameterEditor(services, nullptr, o);
    };

    auto* connection = new ConnectionWindow(services);  // the demo's port chosen at start
    connection->show();
    settle();
    child<QComboBox>(connection, "rateList")->setCurrentIndex(1);  // 9600,N,7,2 at station 1
    child<QComboBox>(connection, "formatList")->setCurrentIndex(0);
    child<QComboBox>(connection, "stationBox")->setEditText(QStringLiteral("1"));
    child<QPushButton>(connection, "connectButton")->click();
    settle();
    if (menu && atRest)
        QTest::qWait(2000);  // the menu's second picture, at rest
    if (auto* button = child<QPushButton>(menu, "runPanelButton"))
        button->click();
    settle();
    if (auto* back = panel ? panel->findChild<QAction*>(QStringLiteral("returnAction")) : nullptr)
        back->trigger();  // to a new mode menu
    settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (auto* button = child<QPushButton>(menu, "editorButton"))
        button->click();
    settle();
    // Each picture is taken once its window has settled, on the real clock.
    QTest::qWaitFor([&] { return screenshots.saved().size() == 4; }, 10000);
    if (atRest)
        QTest::qWait(4500);  // the editor's last picture, with its first page read
    for (QWidget* w : QApplication::topLevelWidgets()) w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    services.ports = portsBefore;
    services.wait = waitBefore;
    services.windows = windowsBefore;
    return screenshots.saved();
}

}  // namespace velorin
