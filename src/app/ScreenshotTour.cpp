#include "ScreenshotTour.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <tuple>

#include "app/DemoPorts.h"
#include "app/Screenshots.h"
#include "platform/EventLoopWait.h"
#include "ui/connection/ConnectionWindow.h"
#include "ui/editor/ParameterEditor.h"
#include "ui/menu/ModeMenu.h"
#include "ui/run/RunPanel.h"

namespace velorin {

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// The real clock runs while the windows go on with their work.
void waitFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <class Done>
void waitUntil(Done done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) waitFor(50);
}

// Nobody is there to answer: every question gets No (nothing on the demo's drive is changed),
// every message is taken as read, every file dialog cancelled.
class UnattendedDialogs : public Dialogs {
public:
    void message(QWidget*, const QString&, const QString&) override {}
    Answer question(QWidget*, const QString&, const QString&) override { return Answer::No; }
    Answer cautiousQuestion(QWidget*, const QString&, const QString&) override {
        return Answer::No;
    }
    Answer confirmTable(QWidget*, const QString&, const QStringList&,
                        const std::vector<QStringList>&, const QString&) override {
        return Answer::No;
    }
    std::optional<QString> input(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<QString> openFile(QWidget*, const QString&, const QString&,
                                    const QString&) override {
        return {};
    }
    std::optional<QString> saveFile(QWidget*, const QString&, const QString&, const QString&,
                                    const QString&) override {
        return {};
    }
};

template <class T>
T* child(QWidget* window, const char* name) {
    return window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
}

}  // namespace

QStringList takeScreenshotTour(Services& services, const QString& folder, bool atRest) {
    ScreenshotTaker screenshots(folder);
    DemoPortProvider ports;
    EventLoopWait wait;
    UnattendedDialogs unattended;
    const auto [portsBefore, waitBefore, windowsBefore, dialogsBefore] =
        std::tuple(services.ports, services.wait, services.windows, services.dialogs);
    services.ports = &ports;
    services.wait = &wait;
    services.dialogs = &unattended;
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
        waitFor(2000);  // the menu's second picture, at rest
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
    waitUntil([&] { return screenshots.saved().size() == 4; }, 10000);
    if (atRest)
        waitFor(4500);  // the editor's last picture, with its first page read
    for (QWidget* w : QApplication::topLevelWidgets()) w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    services.ports = portsBefore;
    services.wait = waitBefore;
    services.windows = windowsBefore;
    services.dialogs = dialogsBefore;
    return screenshots.saved();
}

}  // namespace velorin
