// The editor's way to the drive's fault history: 異常履歷 in the drive menu, on Ctrl+H.

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QMenu>

#include "ParameterEditor.h"
#include "editor/ParameterSets.h"
#include "platform/ChangeLogFile.h"
#include "platform/ReportPdf.h"
#include "platform/SafeFile.h"
#include "texts/ServiceReport.h"
#include "ui/diagnosis/FaultHistoryWindow.h"

namespace velorin {

void ParameterEditor::addFaultHistoryItem(QMenu* driveMenu) {
    QAction* item = driveMenu->addAction(QStringLiteral("異常履歷"));
    item->setObjectName(QStringLiteral("faultHistoryItem"));
    item->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(item, &QAction::triggered, this, &ParameterEditor::onFaultHistoryTriggered);
}

void ParameterEditor::onFaultHistoryTriggered() {
    const bool offline = m_services.link.offline || !m_line;
    if (offline)
        convertFields();  // the fields, a loaded file's values among them, as working values
    if (!m_faultHistory) {
        // Offline the history is what the fields hold; online the drive's, read through the
        // editor's own line session.
        RegisterLookup values = [this](int reg) -> std::optional<std::int32_t> {
            return m_core->working().at(reg);
        };
        m_faultHistory =
            new FaultHistoryWindow(m_services, offline ? nullptr : m_line.get(), values, this);
        m_faultHistory->setReportExport([this](QWidget* parent) { exportReport(parent); });
    }
    m_faultHistory->show();
    m_faultHistory->raise();
    m_faultHistory->activateWindow();
    m_faultHistory->refresh();
}

void ParameterEditor::exportReport(QWidget* parent) {
    const bool offline = m_services.link.offline || !m_line;
    const auto path = m_services.dialogs->saveFile(
        parent, QStringLiteral("匯出報告"), m_services.folders->desktopFolder(),
        QStringLiteral("Report.pdf"), QStringLiteral("PDF (*.pdf);;HTML (*.html)"));
    if (!path)
        return;
    ReportInputs in;
    if (offline) {
        convertFields();
        in.drive = workingSet(*m_core);
        in.source = "離線（編輯器中的數值）";
    } else {
        // The pages read in this visit, as a backup of them would hold them.
        in.drive = driveSet(*m_core);
        // The history as this window read it, where the pages holding it were not read.
        for (const auto& [reg, value] : m_faultHistory->readValues())
            if (reg < kFileRegisterCount && !in.drive.load.values[reg])
                in.drive.load.values[reg] = value;
        in.source = "變頻機";
        in.model = driveModel();
        in.station = m_services.link.station;
        in.link = lineSettingsText(m_services.link);
    }
    // The bytes a save of the same set writes, so the SHA-256 can be compared with a backup's.
    in.setBytes = offline ? m_core->fileText(true) : onlineSaveText(*m_core);
    if (m_services.changeLog)
        if (const auto log = readTextFile(m_services.changeLog->path().toStdString()).bytes)
            in.changes = changesOfStation(readChangeLog(*log).entries, in.station);
    const QDateTime now = QDateTime::currentDateTime();
    in.date = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
    in.program = "velorin " + QCoreApplication::applicationVersion().toStdString();
    const std::string html = serviceReportHtml(in);
    const std::string target = QFileInfo(*path).filesystemFilePath().string();
    const bool pdf = path->endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    if (const auto failure = pdf ? writeReportPdf(html, target) : writeFileSafely(target, html))
        m_services.dialogs->message(parent, QString::fromStdString(*failure),
                                    QStringLiteral("匯出報告"));
}

}  // namespace velorin
