// 讀取全部 in the parameter editor window, offscreen, over a pseudo-terminal against
// velorin-drive-sim with its wire-time model: every page the editor has not read yet (all but
// P00, read when it opens), with the progress text and the pages shown as they come in. Printed
// beside the line's own limit for one register per request.
//
//   read_all_bench [response delay ms, default 5]
//   read_all_bench demo    the demo's drive instead: in the program, factory values, wire time
//                          and its answers spread over 1-6 ms (the limit taken at 6 ms)

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>

#include "LineLimit.h"
#include "SimStart.h"
#include "ui/editor/ParameterEditor.h"
#include "platform/EventLoopWait.h"
#include "platform/QtDialogs.h"
#include "platform/QtFolders.h"
#include "platform/QtPortProvider.h"
#include "platform/QtSettings.h"
#include "sim/SimulatedPort.h"

using namespace velorin;

namespace {

// The demo's simulated drive as the one port there is.
class DemoDrivePort : public PortProvider {
public:
    DemoDrivePort() { m_drive.setAnswerProfile(SimulatedDrive::realisticProfile(), 1); }
    std::unique_ptr<SerialPort> createPort(TimedWait& wait) override {
        return std::make_unique<SimulatedPort>(m_line, wait);
    }
    std::vector<ListedPort> listPorts() override { return {{1, QStringLiteral("demo")}}; }
    QString deviceOf(int comNumber) const override {
        return comNumber == 1 ? QStringLiteral("demo") : QString();
    }

private:
    SimulatedDrive m_drive;
    SimulatedLine m_line{m_drive};
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool demo = argc > 1 && std::string_view(argv[1]) == "demo";
    const int delayMs = demo ? 6 : argc > 1 ? std::atoi(argv[1]) : 5;
    const std::vector<std::pair<const char*, Framing>> cases =
        demo ? std::vector<std::pair<const char*, Framing>>{{"9600,N,7,2", Framing::Ascii}}
             : std::vector<std::pair<const char*, Framing>>{{"115200,E,8,1", Framing::Rtu},
                                                            {"9600,N,7,2", Framing::Ascii}};
    std::printf("%-14s %-6s %10s %12s %12s %8s %8s\n", "settings", "frame", "registers",
                "measured s", "limit s", "ratio", "pages");
    for (const auto& [settingsText, framing] : cases) {
        QProcess sim;
        const QString device =
            demo ? QStringLiteral("demo") : bench::startDriveSim(sim, settingsText, delayMs);
        if (device.isEmpty())
            return 1;
        QtPortProvider qtPorts({device});
        DemoDrivePort demoPort;
        PortProvider& ports = demo ? static_cast<PortProvider&>(demoPort) : qtPorts;
        EventLoopWait wait;
        QtDialogs dialogs;
        QtFolders folders;
        QtSettings settings;
        Services services;
        services.dialogs = &dialogs;
        services.folders = &folders;
        services.ports = &ports;
        services.wait = &wait;
        services.settings = &settings;
        services.quit = [] {};
        int com = 1;
        while (com < 16 && ports.deviceOf(com) != device) ++com;
        services.setLink({1, framing, false, com, settingsText, {}});
        auto core = std::make_shared<EditorCore>();
        auto* editor = qobject_cast<ParameterEditor*>(showParameterEditor(services, core));
        int registers = 0;
        for (int page = 1; page < kPageCount; ++page)
            registers += Catalogue::instance().page(page).read.last -
                         Catalogue::instance().page(page).read.first + 1;
        const bool rtu = isRtu(framing);
        const double limit =
            registers * bench::requestSeconds(*parseSettings(settingsText), framing,
                                              bench::readChars(framing), delayMs / 1000.0);
        QElapsedTimer t;
        t.start();
        editor->findChild<QAction*>(QStringLiteral("readAllItem"))->trigger();
        const double seconds = t.nsecsElapsed() / 1e9;
        int present = 0;
        for (int page = 0; page < kPageCount; ++page) present += core->pagePresent(page) ? 1 : 0;
        std::printf("%-14s %-6s %10d %12.3f %12.3f %8.3f %8d\n", settingsText,
                    rtu ? "RTU" : "ASCII", registers, seconds, limit, seconds / limit, present);
        editor->close();
        delete editor;
        if (!demo)
            bench::stopDriveSim(sim);
    }
    return 0;
}
