// Reading every page of the parameter editor (registers 0-562 by the pages' read ranges, one
// request per register), then writing every page back, through the editor's core over a
// pseudo-terminal against velorin-drive-sim with its wire-time model. Printed beside the line's
// own limit for one register per request: request and reply on the wire, the drive's response
// delay and the silent gap before each request. Then five parameters of P01 changed and only
// they written ("changed"), against the full write above it.
//
//   editor_bench [response delay ms, default 5] [rounds per case, default 1] [monitor]
//
// With "monitor" a line monitor records every transaction, as the window's Ctrl+L does.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <memory>
#include <string>

#include "LineLimit.h"
#include "SimStart.h"
#include "records/LineMonitor.h"
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
    const bool monitored = argc > 3 && std::string(argv[3]) == "monitor";
    const Case cases[] = {{"9600,E,8,1", Framing::Rtu},
                          {"115200,E,8,1", Framing::Rtu},
                          {"9600,N,7,2", Framing::Ascii},
                          {"115200,N,7,2", Framing::Ascii}};
    const int registers = registersOfAllPages();

    std::printf(
        "read: all 30 pages, %d registers; write: all pages present; response delay %d ms%s\n",
        registers, delayMs, monitored ? "; a line monitor records" : "");
    std::printf("%-14s %-6s %-6s %8s %12s %12s %8s %8s\n", "settings", "frame", "what", "requests",
                "measured s", "limit s", "ratio", "failed");
    for (const Case& c : cases) {
        QProcess sim;
        const QString device = bench::startDriveSim(sim, c.settings, delayMs);
        if (device.isEmpty())
            return 1;
        EventLoopWait wait;
        LineSession line(std::make_unique<QtSerialPort>(wait, device));
        line.follow({1, c.framing, false, 1, c.settings, {}});
        LineMonitor monitor(wait);
        if (monitored)
            line.observers().add(monitor);
        if (line.open(1, c.settings) != OpenResult::Ok) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(device));
            return 1;
        }
        const LineSettings settings = *parseSettings(c.settings);
        auto perRequest = [&](int chars) {
            return bench::requestSeconds(settings, c.framing, chars, delayMs / 1000.0);
        };
        const double readLimit = registers * perRequest(bench::readChars(c.framing));
        for (int round = 0; round < rounds; ++round) {
            EditorCore core;
            core.beginVisit(&line, c.framing);
            int failed = 0;
            QElapsedTimer t;
            t.start();
            for (int page = 0; page < kPageCount; ++page)
                if (!core.readPage(page).ok())
                    ++failed;
            const double readSeconds = t.nsecsElapsed() / 1e9;
            std::printf("%-14s %-6s %-6s %8d %12.3f %12.3f %8.3f %8d\n", c.settings,
                        isRtu(c.framing) ? "RTU" : "ASCII", "read", registers, readSeconds,
                        readLimit, readSeconds / readLimit, failed);

            // The fields as read, written back: nothing changes the link or the lock.
            for (int reg = 0; reg < kRegisterCount; ++reg)
                core.working()[reg] = reg == 497 ? baudPosition(core.driveValue(reg)).value_or(-1)
                                                 : core.driveValue(reg);
            LinkState link{1, c.framing, false, 1, c.settings, {}};
            t.restart();
            const WriteOutcome outcome = core.writeToDrive(link, {});
            const double writeSeconds = t.nsecsElapsed() / 1e9;
            const int writes = outcome.confirmed + static_cast<int>(outcome.unconfirmed.size());
            const double writeLimit = perRequest(bench::readChars(c.framing)) +
                                      writes * perRequest(bench::writeChars(c.framing));
            std::printf("%-14s %-6s %-6s %8d %12.3f %12.3f %8.3f %8d\n", c.settings,
                        isRtu(c.framing) ? "RTU" : "ASCII", "write", writes + 1, writeSeconds,
                        writeLimit, writeSeconds / writeLimit,
                        static_cast<int>(outcome.unconfirmed.size() + outcome.skipped.size()));

            for (int reg = 25; reg < 30; ++reg) core.working()[reg] = core.driveValue(reg) + 1;
            t.restart();
            const WriteOutcome changed = core.writeToDrive(link, {}, WriteScope::ChangedOnly);
            const double changedSeconds = t.nsecsElapsed() / 1e9;
            const int changedWrites =
                changed.confirmed + static_cast<int>(changed.unconfirmed.size());
            const double changedLimit = perRequest(bench::readChars(c.framing)) +
                                        changedWrites * perRequest(bench::writeChars(c.framing));
            std::printf("%-14s %-6s %-6s %8d %12.3f %12.3f %8.3f %8d\n", c.settings,
                        isRtu(c.framing) ? "RTU" : "ASCII", "changed", changedWrites + 1,
                        changedSeconds, changedLimit, changedSeconds / changedLimit,
                        static_cast<int>(changed.unconfirmed.size() + changed.skipped.size()));
        }
        line.close();
        bench::stopDriveSim(sim);
    }
    return 0;
}
