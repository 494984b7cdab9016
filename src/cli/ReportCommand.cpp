#include <QDateTime>
#include <QFileInfo>
#include <filesystem>

#include "Commands.h"
#include "editor/BackupSidecar.h"
#include "editor/ParameterSets.h"
#include "model/FaultRegisters.h"
#include "platform/ReportPdf.h"
#include "platform/SafeFile.h"
#include "CliTexts.h"
#include "texts/ServiceReport.h"

#ifndef VELORIN_VERSION
#define VELORIN_VERSION "0"
#endif

namespace velorin {

int ReportCommand::run() {
    const std::string target = m_request.file.toStdString();
    if (const auto refusal = targetRefusal(target)) {
        error(clitext::writeFaultLine(*refusal));
        return exitCode(CliExit::Refused);
    }
    ReportInputs in;
    if (!m_request.fromFile.isEmpty()) {
        // A backup's set, offline: the drive it came from as its sidecar says.
        if (int c = loadFile(m_request.fromFile, in.drive.load))
            return c;
        in.setBytes = readTextFile(m_request.fromFile.toStdString()).bytes.value_or("");
        in.source = QFileInfo(m_request.fromFile).fileName().toStdString();
        const auto sidecar = readTextFile(sidecarPath(m_request.fromFile.toStdString())).bytes;
        if (const auto s = sidecar ? parseSidecar(*sidecar) : std::nullopt) {
            in.model = s->model;
            in.station = s->station;
            in.link = s->link;
        }
    } else {
        if (int c = openEditor())
            return c;
        std::vector<int> pages;
        for (int page = 0; page < kFilePageCount; ++page) pages.push_back(page);
        if (int c = readPages(pages))
            return c;
        in.model = readDriveValue(faultregs::kModel);
        m_line->close();
        in.drive = driveSet(*m_core);
        in.setBytes = onlineSaveText(*m_core);
        in.source = "變頻機";
        in.station = m_request.station;
        in.link = (portLabel() + QStringLiteral(", ") + qs(m_request.settings) + QLatin1Char(' ') +
                   QLatin1String(framingName(m_request.framing)))
                      .toStdString();
    }
    if (!m_request.againstFile.isEmpty()) {
        ParameterSet against;
        if (int c = loadFile(m_request.againstFile, against.load))
            return c;
        in.against = against;
        in.againstName = QFileInfo(m_request.againstFile).fileName().toStdString();
    }
    if (const auto log = readTextFile(m_env.changeLogPath().toStdString()).bytes)
        in.changes = changesOfStation(readChangeLog(*log).entries, in.station);
    const QDateTime now = QDateTime::currentDateTime();
    in.date = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
    in.program = "velorin-cli " VELORIN_VERSION;
    const std::string html = serviceReportHtml(in);
    const bool pdf = m_request.file.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    if (const auto failure =
            pdf ? writeReportPdf(html, kReportTitle, target) : writeFileSafely(target, html)) {
        error(clitext::writeFaultLine(*failure));
        return exitCode(CliExit::Refused);
    }
    m_console.line(QStringLiteral("report saved in %1").arg(m_request.file));
    return exitCode(CliExit::Ok);
}

}  // namespace velorin
