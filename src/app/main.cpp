// velorin: the desktop tool. Starts on the connection screen; ends when the last window closes.
//
//   velorin [--demo] [--device PATH]... [--screenshot DIR]
//
// --demo lists a simulated drive as one more COM port, so the program can be tried without a
// drive; --device adds a serial device the system does not list (a pseudo-terminal, say);
// --screenshot saves a picture of every window as it first comes up. Where there is no display
// it draws offscreen, where nobody can click: with --demo it walks through the windows itself,
// else it pictures the connection screen; then it ends.

#include <QApplication>
#include <QCommandLineParser>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QPointer>
#include <QTime>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "DemoPorts.h"
#include "ScreenshotTour.h"
#include "Screenshots.h"
#include "platform/ChangeLogFile.h"
#include "platform/EventLoopWait.h"
#include "platform/QtDialogs.h"
#include "platform/QtFolders.h"
#include "platform/QtPortProvider.h"
#include "platform/QtSettings.h"
#include "ui/connection/ConnectionWindow.h"
#include "ui/editor/ParameterEditor.h"
#include "ui/menu/ModeMenu.h"
#include "ui/monitor/MonitorWindow.h"
#include "ui/run/RunPanel.h"

namespace {

struct Options {
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("List a simulated drive as one more COM port.")};
    QCommandLineOption device{QStringLiteral("device"),
                              QStringLiteral("Add a serial device to the port list."),
                              QStringLiteral("path")};
    QCommandLineOption screenshot{
        QStringLiteral("screenshot"),
        QStringLiteral("Save a PNG of every window as it first appears, in this folder."),
        QStringLiteral("folder")};

    void addTo(QCommandLineParser& parser) const {
        parser.setApplicationDescription(QStringLiteral("Velorin: service tool for the drive"));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(demo);
        parser.addOption(device);
        parser.addOption(screenshot);
    }
};

// --help and --version answer without a display: they are taken before the windows' side of Qt
// starts (which aborts where there is no display).
bool onlyAsksAboutTheProgram(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        for (const char* ask : {"-h", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], ask) == 0)
                return true;
    return false;
}

// Whether Qt would find no display to open (it aborts then): no platform chosen, no X11 or
// Wayland display named. Free desktops only; Windows and macOS always have their own.
bool noDisplay() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
           qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return false;
#endif
}

// The offscreen platform says for every window that it cannot pass on size hints: true, and of
// no concern to whoever reads the list of pictures.
QtMessageHandler qtOwn = nullptr;

void quietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.contains(QLatin1String("propagateSizeHints")))
        return;
    if (qtOwn)
        qtOwn(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

bool asksForScreenshots(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--screenshot", 12) == 0)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options;
    if (onlyAsksAboutTheProgram(argc, argv)) {
        QCoreApplication plain(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("velorin"));
        QCoreApplication::setApplicationVersion(QStringLiteral(VELORIN_VERSION));
        QCommandLineParser parser;
        options.addTo(parser);
        parser.process(plain);  // prints what was asked and ends the program
        return 0;
    }
    const bool offscreen = noDisplay() && asksForScreenshots(argc, argv);
    if (offscreen) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qtOwn = qInstallMessageHandler(quietOffscreenNotes);
        std::fprintf(stderr,
                     "velorin: no display; the windows are drawn offscreen for the pictures.\n");
    } else if (noDisplay()) {
        std::fprintf(stderr,
                     "velorin: no display (DISPLAY and WAYLAND_DISPLAY are empty); "
                     "velorin --demo --screenshot DIR draws the windows without one.\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velorin"));
    QApplication::setApplicationVersion(QStringLiteral(VELORIN_VERSION));
    // Ties the windows to the installed menu entry and its icon (the taskbar of a Wayland desktop
    // finds them by this name); the theme's icon is empty where the program is not installed.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELORIN_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(VELORIN_APP_ID)));
    QApplication::setQuitOnLastWindowClosed(true);
    // The buttons of message boxes and the file dialogs speak the program's language too.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_TW"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    QCommandLineParser parser;
    options.addTo(parser);
    parser.process(app);
    const QCommandLineOption& demo = options.demo;
    const QCommandLineOption& device = options.device;
    const QCommandLineOption& screenshot = options.screenshot;
    std::unique_ptr<velorin::ScreenshotTaker> screenshots;
    if (parser.isSet(screenshot) && !(offscreen && parser.isSet(demo)))
        screenshots = std::make_unique<velorin::ScreenshotTaker>(parser.value(screenshot));

    const QStringList devices = parser.values(device);
    std::unique_ptr<velorin::PortProvider> ports;
    if (parser.isSet(demo))
        ports = std::make_unique<velorin::DemoPortProvider>(devices);
    else
        ports = std::make_unique<velorin::QtPortProvider>(devices);

    velorin::EventLoopWait wait;
    velorin::QtDialogs dialogs;
    velorin::QtFolders folders;
    velorin::QtSettings settings;
    velorin::Services services;
    services.dialogs = &dialogs;
    services.folders = &folders;
    services.ports = ports.get();
    services.wait = &wait;
    services.settings = &settings;
    velorin::ChangeLogFile changeLog(
        QDir(velorin::changeLogFolder()).filePath(QLatin1String(velorin::kChangeLogFileName)));
    services.changeLog = &changeLog;
    services.openFolder = [](const QString& folder) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
    // The line monitor records from the start; its window comes up on Ctrl+L and does not keep
    // the program alive once the last other window is closed.
    velorin::LineMonitor monitor(wait, [] { return QTime::currentTime().msecsSinceStartOfDay(); });
    services.lineObservers.add(monitor);
    QPointer<velorin::MonitorWindow> monitorWindow;
    services.showMonitor = [&] {
        if (!monitorWindow) {
            monitorWindow = new velorin::MonitorWindow(monitor, dialogs);
            monitorWindow->setAttribute(Qt::WA_QuitOnClose, false);
        }
        monitorWindow->show();
        monitorWindow->raise();
        monitorWindow->activateWindow();
    };
    services.quit = [] {
        // The quit command ends the program at once, whatever the windows are doing; the system
        // closes the ports.
        std::fflush(nullptr);
        std::_Exit(0);
    };
    services.windows.connection = [&services]() -> QWidget* {
        auto* w = new velorin::ConnectionWindow(services);
        w->show();
        return w;
    };
    services.windows.menu = [&services]() -> QWidget* {
        auto* w = new velorin::ModeMenu(services);
        w->show();
        return w;
    };
    // The editor's values outlive its window, from one visit to the next.
    services.windows.editor = [&services, core = std::make_shared<velorin::EditorCore>()](
                                  const velorin::Opening& opening) {
        return velorin::showParameterEditor(services, core, opening);
    };
    services.windows.runPanel = [&services](const velorin::Opening& opening) {
        return velorin::showRunPanel(services, opening);
    };

    if (offscreen && parser.isSet(demo)) {
        const QStringList saved =
            velorin::takeScreenshotTour(services, parser.value(screenshot), true);
        return saved.size() == 4 ? 0 : 1;
    }
    services.windows.connection();
    if (offscreen) {
        std::fprintf(stderr,
                     "velorin: nobody can click here, so only the connection screen is "
                     "pictured; --demo walks through every window.\n");
        QTimer::singleShot(2000, &app, &QApplication::quit);  // after its pictures
    }
    return app.exec();
}
