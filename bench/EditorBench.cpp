// Reading every page of the parameter editor (registers 0-562 by the pages' read ranges, one
// request per register) through the editor's core over a pseudo-terminal against
// velorin-drive-sim with its wire-time model. Printed beside the line's own limit for one
// register per request: request and reply on the wire, the drive's response delay and the
// silent gap before each request.
//
//   editor_bench [response delay ms, default 5] [rounds per case, default 1]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <memory>

#include "editor/EditorCore.h"
#include "link/LineSession.h"
#include "platform/EventLoopWait.h"
#include "platform/QtSerialPort.h"

using namespace velorin;

namespace {

struct Case {
    const char* settings;
    Framing framing;
};

int registersOfAllPages() {
    int count = 0;
    for (const PageInfo& page : Catalogue::instance().pages())
        count += page.read.last - page.read.first + 1;
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int delayMs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 1;
    const Case cases[] = {{"9600,E,8,1", Framing::Rtu},
                          {"115200,E,8,1", Framing::Rtu},
                          {"9600,N,7,2", Framing::Ascii},
                          {"115200,N,7,2", Framing::Ascii}};
    const int registers = registersOfAllPages();

    std::printf("all 30 pages, %d registers, response delay %d ms\n", registers, delayMs);
    std::printf("%-14s %-6s %12s %12s %8s %8s\n", "settings", "frame", "measured s", "limit s",
                "ratio", "failed");
    for (const Case& c : cases) {
        QProcess sim;
        const bool rtu = isRtu(c.framing);
        sim.start(QStringLiteral(VELORIN_DRIVE_SIM),
                  {"--settings", c.settings, "--wire-time", "--response-delay-ms",
                   QString::number(delayMs)});
        if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
            std::fprintf(stderr, "cannot start the simulator\n");
            return 1;
        }
        const QString device = QString::fromUtf8(sim.readLine()).trimmed();
        EventLoopWait wait;
        LineSession line(std::make_unique<QtSerialPort>(wait, device));
        line.follow({1, c.framing, false, 1, c.settings});
        if (line.open(1, c.settings) != OpenResult::Ok) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(device));
            return 1;
        }
        int failed = 0;
        double best = 0;
        for (int round = 0; round < rounds; ++round) {
            EditorCore core;
            core.beginVisit(&line, c.framing);
            QElapsedTimer t;
            t.start();
            for (int page = 0; page < kPageCount; ++page)
                if (!core.readPage(page).ok())
                    ++failed;
            const double seconds = t.nsecsElapsed() / 1e9;
            best = round == 0 ? seconds : std::min(best, seconds);
        }
        line.close();
        sim.closeWriteChannel();
        sim.terminate();
        sim.waitForFinished(3000);

        // One register per request: 8 + 7 bytes in RTU, 17 + 15 characters in ASCII.
        const LineSettings settings = *parseSettings(c.settings);
        const int chars = rtu ? 8 + 7 : 17 + 15;
        const double perRegister =
            static_cast<double>(chars) * settings.bitsPerCharacter() / settings.baud +
            delayMs / 1000.0 + silentGap(settings).count() / 1e6;
        const double limit = registers * perRegister;
        std::printf("%-14s %-6s %12.3f %12.3f %8.3f %8d\n", c.settings, rtu ? "RTU" : "ASCII", best,
                    limit, best / limit, failed);
    }
    return 0;
}
