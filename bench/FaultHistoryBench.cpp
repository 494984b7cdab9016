// The fault history read over a pseudo-terminal against velorin-drive-sim with its wire-time
// model, one register per request, beside the line's limit for its registers (P12.03-P12.31 and
// P17.05-P17.06); then the service report of a drive already read, built and printed to PDF.
//
//   fault_history_bench [response delay ms, default 5]

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "LineLimit.h"
#include "SimStart.h"
#include "drive/FaultHistoryRead.h"
#include "link/LineSession.h"
#include "platform/EventLoopWait.h"
#include "platform/QtSerialPort.h"
#include "platform/ReportPdf.h"
#include "records/ServiceReport.h"

using namespace velorin;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int delayMs = argc > 1 ? std::atoi(argv[1]) : 5;
    const char* settingsText = "9600,N,7,2";
    const Framing framing = Framing::Ascii;
    QProcess sim;
    const QString device = bench::startDriveSim(sim, settingsText, delayMs,
                                                {"--faults-history", "21@1284,6@1190,3@1187"});
    if (device.isEmpty())
        return 1;
    EventLoopWait wait;
    LineSession line(std::make_unique<QtSerialPort>(wait, device));
    if (!bench::openSimLine(line, device, settingsText, framing))
        return 1;
    bench::RequestCount count;
    line.observers().add(count);
    QElapsedTimer timer;
    timer.start();
    const FaultHistoryRead read = readFaultHistory(line);
    const double measured = timer.nsecsElapsed() / 1e9;
    line.observers().remove(count);
    line.close();
    bench::stopDriveSim(sim);
    const int registers = static_cast<int>(faultHistoryRegisters().size());
    const double limit =
        registers * bench::requestSeconds(*parseSettings(settingsText), framing,
                                          bench::readChars(framing), delayMs / 1000.0);
    std::printf("fault history, %d registers, response delay %d ms\n", registers, delayMs);
    std::printf("%-12s %-6s %9s %11s %9s %7s %7s\n", "settings", "frame", "requests", "measured s",
                "limit s", "ratio", "faults");
    std::printf("%-12s %-6s %9d %11.3f %9.3f %7.3f %7zu\n", settingsText, "ASCII", count.requests,
                measured, limit, measured / limit,
                read.history ? read.history->records.size() : std::size_t{0});

    // The report of a drive already read: its whole parameter set (the factory values here) and
    // the history just read.
    ReportInputs in;
    in.drive = factorySet();
    for (const auto& [reg, value] : read.values)
        if (reg < kFileRegisterCount)
            in.drive.load.values[reg] = value;
    in.setBytes = factorySaveText();
    in.station = 1;
    in.link = settingsText;
    QTemporaryDir dir;
    timer.restart();
    const std::string html = serviceReportHtml(in);
    const auto failure = writeReportPdf(html, dir.filePath("report.pdf").toStdString());
    std::printf("report of a drive already read, HTML and PDF: %.3f s%s\n",
                timer.nsecsElapsed() / 1e9, failure ? (" FAILED: " + *failure).c_str() : "");
    return read.history && !failure ? 0 : 1;
}
