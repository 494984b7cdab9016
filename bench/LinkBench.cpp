// Transactions per second over a pseudo-terminal against velorin-drive-sim with its wire-time
// model: the simulator answers after the time request and reply would take on a real line at
// the set rate, plus its response delay.
//
// Three limits are printed beside the measured rate, each in transactions per second:
//   wire      the bits of request and reply at the rate, nothing else;
//   protocol  wire plus the 3.5-character silence before each RTU request (ASCII has none);
//   drive     protocol plus the drive's response time (the simulator's --response-delay-ms).
// The measured rate is compared with the protocol limit, which no master can beat, and the time
// a transaction took beyond the drive limit is shown (both ends' scheduling and the pty).
//
//   link_bench [transactions per case, default 300] [response delay ms, default 0]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <cstdlib>

#include "LineLimit.h"
#include "link/Transaction.h"
#include "platform/EventLoopWait.h"
#include "platform/QtSerialPort.h"

using namespace velorin;

namespace {

struct Case {
    const char* settings;
    Framing framing;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 300;
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 0;
    if (count <= 0 || delayMs < 0) {
        std::fprintf(stderr, "usage: link_bench [transactions per case] [response delay ms]\n");
        return 2;
    }
    const Case cases[] = {{"9600,E,8,1", Framing::Rtu},
                          {"115200,E,8,1", Framing::Rtu},
                          {"9600,N,7,2", Framing::Ascii},
                          {"115200,N,7,2", Framing::Ascii}};

    std::printf("%d reads per case, drive response %d ms\n", count, delayMs);
    std::printf("%-13s %-5s %9s %11s %8s %11s %12s %9s %7s\n", "settings", "frame", "wire/s",
                "protocol/s", "drive/s", "measured/s", "of protocol", "extra us", "errors");
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
            const ReplyCheck r = transact(port, c.framing, 1, FunctionCode::ReadRegisters, 100, 1);
            if (r.outcome != LinkOutcome::Ok || r.value != 1234)
                ++errors;
        }
        const double measured = count / (t.nsecsElapsed() / 1e9);
        port.close();
        sim.closeWriteChannel();
        sim.terminate();
        sim.waitForFinished(3000);

        const LineSettings line = *parseSettings(c.settings);
        const double wire = bench::lineSeconds(line, bench::readChars(c.framing));
        const double protocol = wire + bench::gapSeconds(line, c.framing);
        const double drive = protocol + delayMs / 1000.0;
        std::printf("%-13s %-5s %9.1f %11.1f %8.1f %11.1f %11.2fx %9.0f %7d\n", c.settings,
                    std::string(framingName(c.framing)).c_str(), 1.0 / wire, 1.0 / protocol,
                    1.0 / drive, measured, measured * protocol, (1.0 / measured - drive) * 1e6,
                    errors);
    }
    return 0;
}
