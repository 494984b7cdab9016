// The fault history read over a pseudo-terminal against velorin-drive-sim with its wire-time
// model, one register per request, beside the line's limit for its registers (P12.03-P12.31 and
// P17.05-P17.06); then the service report of a drive already read, built and printed to PDF.
//
//   fault_history_bench [response delay ms, default 5]

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "LineLimit.h"
#include "SimLine.h"
#include "drive/FaultHistoryRead.h"
#include "link/LineSession.h"
#include "platform/ReportPdf.h"
#include "texts/FileTexts.h"
#include "texts/ServiceReport.h"

using namespace velorin;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int delayMs = argc > 1 ? std::atoi(argv[1]) : 5;
    const char* settingsText = "9600,N,7,2";
    const Framing framing = Framing::Ascii;
    // Two drives that tripped on an overcurrent while accelerating, with what they saw then
    // (speed command, output frequency, motor speed, voltage, current, DC bus, the q and d
    // currents, terminals, heat sink) and running time beyond the latest fault, as the demo's
    // drive has: one that remembers eight faults, one that remembers three and has five empty
    // places (two runs of like values, which the line session confirms before it takes them).
    const struct {
        const char* name;
        const char* history;
    } drives[] = {
        {"eight faults", "21@1284,6@1190,3@1187,7@1100,12@950,2@811,20@640,9@402"},
        {"three faults", "21@1284,6@1190,3@1187"},
    };
    const int registers = static_cast<int>(faultHistoryRegisters().size());
    const double limit =
        registers * bench::requestSeconds(*parseSettings(settingsText), framing,
                                          bench::readChars(framing), delayMs / 1000.0);
    std::printf("fault history, %d registers, response delay %d ms\n", registers, delayMs);
    std::printf("%-13s %-12s %-6s %9s %11s %9s %7s %7s\n", "drive", "settings", "frame",
                "requests", "measured s", "limit s", "ratio", "faults");
    FaultHistoryRead read;
    for (const auto& d : drives) {
        QStringList options = {"--faults-history", d.history, "--set", "543=1290", "--set",
                               "544=1800"};
        const int seen[][2] = {{411, 6000}, {412, 2345}, {413, 700}, {414, 1602}, {415, 187},
                               {416, 3050}, {417, 175},  {418, 181}, {419, 42},   {420, 40},
                               {421, 5},    {422, 2},    {423, 413}};
        for (const auto& [reg, value] : seen)
            options << QStringLiteral("--set") << QStringLiteral("%1=%2").arg(reg).arg(value);
        bench::SimLine sim;
        if (!sim.start(settingsText, framing, delayMs, options))
            return 1;
        LineSession& line = sim.line();
        bench::RequestCount count;
        line.observers().add(count);
        QElapsedTimer timer;
        timer.start();
        read = readFaultHistory(line);
        const double measured = timer.nsecsElapsed() / 1e9;
        line.observers().remove(count);
        std::printf("%-13s %-12s %-6s %9d %11.3f %9.3f %7.3f %7zu\n", d.name, settingsText,
                    "ASCII", count.requests, measured, limit, measured / limit,
                    read.history ? read.history->records.size() : std::size_t{0});
        if (!read.history)
            return 1;
    }

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
    QElapsedTimer timer;
    timer.start();
    const std::string html = serviceReportHtml(in);
    const auto failure =
        writeReportPdf(html, kReportTitle, dir.filePath("report.pdf").toStdString());
    std::printf("report of a drive already read, HTML and PDF: %.3f s%s\n",
                timer.nsecsElapsed() / 1e9,
                failure ? (" FAILED: " + describeWriteFault(*failure)).c_str() : "");
    return read.history && !failure ? 0 : 1;
}
