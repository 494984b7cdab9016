// `velorin-cli backup` of every page (P00-P17-1) against velorin-drive-sim with its wire-time
// model, timed from the program's start to its end, beside the line's own limit for one register
// per request: the five single reads the editor makes when it opens and every register of the
// pages' read ranges, each a request and a reply on the wire, the drive's response delay and the
// silent gap before the request.
//
//   backup_bench [settings, default 115200,N,8,1] [response delay ms, default 5] [rounds, default
//   3]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "LineLimit.h"
#include "editor/EditorCore.h"
#include "editor/ParameterFile.h"
#include "link/Transaction.h"

using namespace velorin;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString settings =
        argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("115200,N,8,1");
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 5;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const auto line = parseSettings(settings.toStdString());
    if (!line) {
        std::fprintf(stderr, "unknown settings %s\n", argv[1]);
        return 2;
    }
    const Framing framing = line->dataBits == 8 ? Framing::Rtu : Framing::Ascii;

    int registers = static_cast<int>(EditorCore::kOpeningReads.size());
    for (int page = 0; page < kFilePageCount; ++page)
        registers += Catalogue::instance().page(page).read.last -
                     Catalogue::instance().page(page).read.first + 1;
    const double perRequest =
        bench::requestSeconds(*line, framing, bench::readChars(framing), delayMs / 1000.0);
    const double limit = registers * perRequest;

    QProcess sim;
    sim.start(QStringLiteral(VELORIN_DRIVE_SIM),
              {"--settings", settings, "--wire-time", "--response-delay-ms",
               QString::number(delayMs), "--set", "382=1000", "--set", "499=5"});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }
    const QString device = QString::fromUtf8(sim.readLine()).trimmed();
    QTemporaryDir dir;
    std::printf("backup of pages P00-P17-1: %d requests at %s, response delay %d ms\n", registers,
                qPrintable(settings), delayMs);
    std::printf("%-6s %12s %12s %8s %6s\n", "round", "measured s", "limit s", "ratio", "exit");
    int status = 0;
    for (int round = 1; round <= rounds; ++round) {
        QProcess cli;
        QElapsedTimer t;
        t.start();
        cli.start(QStringLiteral(VELORIN_CLI),
                  {"-p", device, "-s", settings, "backup", dir.filePath("backup.txt")});
        cli.waitForFinished(600000);
        const double seconds = t.nsecsElapsed() / 1e9;
        std::printf("%-6d %12.3f %12.3f %8.3f %6d\n", round, seconds, limit, seconds / limit,
                    cli.exitCode());
        if (cli.exitCode() != 0) {
            std::fprintf(stderr, "%s", cli.readAllStandardError().constData());
            status = 1;
        }
    }
    sim.closeWriteChannel();
    sim.terminate();
    sim.waitForFinished(3000);
    return status;
}
