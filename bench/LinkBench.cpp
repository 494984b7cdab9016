// Transactions per second over a pseudo-terminal against velorin-drive-sim with its wire-time
// model: the simulator answers after the time request and reply would take on a real line at
// the set rate, plus its response delay. Printed beside the line's own limit and beside the
// rate of a fixed 0.1 s wait per transaction.
//
//   link_bench [transactions per case, default 200] [response delay ms, default 5]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cmath>
#include <cstdio>

#include "link/MBus.h"
#include "platform/EventLoopWait.h"
#include "platform/QtSerialPort.h"

using namespace velorin;

namespace {

struct Case {
    const char* settings;
    bool rtu;
};

double lineSeconds(const LineSettings& l, int chars) {
    return static_cast<double>(chars) * l.bitsPerCharacter() / l.baud;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 200;
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 5;
    const Case cases[] = {
        {"9600,E,8,1", true}, {"115200,E,8,1", true}, {"9600,N,7,2", false}, {"115200,N,7,2", false}};

    std::printf("%-14s %-6s %12s %12s %12s %8s\n", "settings", "frame", "measured/s", "line limit/s",
                "fixed 0.1s/s", "errors");
    for (const Case& c : cases) {
        QProcess sim;
        sim.start(QStringLiteral(VELORIN_DRIVE_SIM),
                  {"--settings", c.settings, "--wire-time", "--response-delay-ms",
                   QString::number(delayMs), "--set", "100=1234"});
        if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
            std::fprintf(stderr, "cannot start the simulator\n");
            return 1;
        }
        const QString device = QString::fromUtf8(sim.readLine()).trimmed();
        EventLoopWait wait;
        QtSerialPort port(wait, device);
        port.setSettings(c.settings);
        if (port.open() != OpenResult::Ok) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(device));
            return 1;
        }
        int errors = 0;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < count; ++i) {
            const std::string v = c.rtu ? ReadData(1, 0, 100, 0, 1, port)
                                        : ReadDataASCII(1, 0, 100, 0, 1, port);
            if (v != "1234") ++errors;
        }
        const double measured = count / (t.nsecsElapsed() / 1e9);
        port.close();
        sim.closeWriteChannel();
        sim.terminate();
        sim.waitForFinished(3000);

        const LineSettings line = *parseSettings(c.settings);
        const int chars = c.rtu ? 8 + 7 : 17 + 15;
        const double perTransaction = lineSeconds(line, chars) + delayMs / 1000.0 +
                                      silentGap(line).count() / 1e6;
        const double fixed = 1.0 / (0.1 + silentGap(line).count() / 1e6);
        std::printf("%-14s %-6s %12.1f %12.1f %12.1f %8d\n", c.settings, c.rtu ? "RTU" : "ASCII",
                    measured, 1.0 / perTransaction, fixed, errors);
    }
    return 0;
}
