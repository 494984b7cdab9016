// Several drives on one line, with the real velorin-cli against velorin-drive-sim (wire-time
// model), each run timed from the program's start to its end:
// - the survey of stations 1-247 at 9600,N,7,2 with nothing answering (the simulator's one drive
//   sits at station 254, outside the survey), beside 247 reply waits of the default 100 ms;
// - `backup --stations 1-3 DIR` of every page of three drives, beside three single backups
//   (`backup --station N FILE`) run one after another.
//
//   many_drives_bench [backup settings, default 115200,N,8,1] [response delay ms, default 5]
//   [rounds, default 1] [survey: 1 (the default) or 0]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "SimStart.h"

using namespace velorin;

namespace {

// velorin-cli with `args`: the seconds it took, or a negative number when it failed.
double timedCli(const QStringList& args) {
    QProcess cli;
    QElapsedTimer t;
    t.start();
    cli.start(QStringLiteral(VELORIN_CLI), args);
    cli.waitForFinished(1200000);
    const double seconds = t.nsecsElapsed() / 1e9;
    if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
        std::fprintf(stderr, "velorin-cli %s: exit %d (%s)\n%s", qPrintable(args.join(' ')),
                     cli.exitCode(), qPrintable(cli.errorString()),
                     cli.readAllStandardError().constData());
        return -1;
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QByteArray settings = argc > 1 ? QByteArray(argv[1]) : QByteArray("115200,N,8,1");
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 5;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 1;
    const bool surveyToo = argc <= 4 || std::atoi(argv[4]) != 0;
    int status = 0;

    if (surveyToo) {
        QProcess sim;
        const QString device =
            bench::startDriveSim(sim, "9600,N,7,2", delayMs, {"--station", "254"});
        if (device.isEmpty())
            return 1;
        const double budget = 247 * 0.1;
        std::printf("survey of stations 1-247 at 9600,N,7,2, no drive, reply wait 100 ms\n");
        std::printf("%-6s %12s %12s %8s\n", "round", "measured s", "247 waits s", "ratio");
        for (int round = 1; round <= rounds; ++round) {
            QProcess cli;
            QElapsedTimer t;
            t.start();
            cli.start(QStringLiteral(VELORIN_CLI), {"-p", device, "-s", "9600,N,7,2", "survey"});
            cli.waitForFinished(600000);
            const double seconds = t.nsecsElapsed() / 1e9;
            // Nothing found is the survey's exit status 1.
            if (cli.exitCode() != 1) {
                std::fprintf(stderr, "survey: exit %d\n%s", cli.exitCode(),
                             cli.readAllStandardError().constData());
                status = 1;
            }
            std::printf("%-6d %12.3f %12.3f %8.3f\n", round, seconds, budget, seconds / budget);
        }
        bench::stopDriveSim(sim);
    }

    QProcess sim;
    const QString device =
        bench::startDriveSim(sim, settings.constData(), delayMs, {"--stations", "1,2,3"});
    if (device.isEmpty())
        return 1;
    QTemporaryDir dir;
    std::printf("\nbackup of pages P00-P17-1 of three drives at %s, response delay %d ms\n",
                settings.constData(), delayMs);
    std::printf("%-6s %14s %14s %8s\n", "round", "stations 1-3 s", "3 singles s", "ratio");
    const QStringList link{"-p", device, "-s", QString::fromLatin1(settings)};
    for (int round = 1; round <= rounds; ++round) {
        const double many = timedCli(link + QStringList{"--stations", "1-3", "backup", dir.path()});
        double singles = 0;
        for (int station = 1; station <= 3 && singles >= 0; ++station) {
            const double one = timedCli(
                link + QStringList{"--station", QString::number(station), "backup",
                                   dir.filePath(QStringLiteral("single%1.txt").arg(station))});
            singles = one < 0 ? -1 : singles + one;
        }
        if (many < 0 || singles < 0)
            status = 1;
        std::printf("%-6d %14.3f %14.3f %8.3f\n", round, many, singles, many / singles);
    }
    bench::stopDriveSim(sim);
    return status;
}
