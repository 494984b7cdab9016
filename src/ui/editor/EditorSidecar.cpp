// The editor's backups know their drive: a save online writes the sidecar beside the file, and a
// load that finds one names the drive the file came from and asks before taking a file that was
// edited since or comes from another drive model.

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <filesystem>

#include "ParameterEditor.h"
#include "drive/FaultHistoryRead.h"
#include "editor/BackupSidecar.h"
#include "link/LineSession.h"
#include "model/FaultRegisters.h"
#include "model/Sha256.h"
#include "platform/SafeFile.h"

namespace velorin {

namespace {

constexpr int kLockResetPage = 28;  // P17-1: running hours; P17.11 is read with it
const QString kSidecarTitle = QStringLiteral("備份說明檔");
const QString kTakeAnyway = QStringLiteral("%1\n%2\n是否仍要讀取這個檔案？");
const QString kNoSidecar = QStringLiteral("檔案已儲存，但無法在旁邊寫入說明檔（%1）：%2");

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

std::optional<std::int32_t> ParameterEditor::driveModel() const {
    // The model comes with page P17-1; a drive never reports model 0.
    const std::int32_t model = m_core->driveValue(faultregs::kModel);
    if (m_services.link().offline || model == 0)
        return std::nullopt;
    return model;
}

void ParameterEditor::writeSidecar(const QString& path, const std::string& bytes) {
    if (m_services.link().offline)
        return;  // the factory values of no drive in particular
    BackupSidecar sidecar;
    sidecar.model = driveModel();
    if (m_core->pagePresent(kLockResetPage))
        sidecar.runHours = m_core->driveValue(faultregs::kRunHours);
    // Not read with the pages yet: asked now. A save runs only while the line is idle, so the
    // operation runs at once.
    if (m_line && !m_line->busy() && (!sidecar.model || !sidecar.runHours))
        m_line->submit([&] {
            for (auto [reg, value] : {std::pair{faultregs::kModel, &sidecar.model},
                                      std::pair{faultregs::kRunHours, &sidecar.runHours}}) {
                const ReplyCheck r = m_line->read(static_cast<std::uint16_t>(reg));
                if (!*value && r.outcome == LinkOutcome::Ok)
                    *value = driveValue(reg, r.value);
            }
        });
    sidecar.station = m_services.link().station;
    sidecar.link = m_services.link().settings;
    const QDateTime now = QDateTime::currentDateTime();
    sidecar.date = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
    sidecar.program = "velorin " + QCoreApplication::applicationVersion().toStdString();
    sidecar.sha256 = sha256Hex(bytes);
    const std::string target = sidecarPath(QFileInfo(path).filesystemFilePath().string());
    if (const auto failure = writeFileSafely(target, sidecarText(sidecar))) {
        std::error_code ec;
        std::filesystem::remove(target, ec);  // an older one would speak for another file
        m_services.dialogs->message(this, kNoSidecar.arg(qs(target), qs(*failure)), kSidecarTitle);
    }
}

bool ParameterEditor::sidecarAllowsLoad(const QString& path, QString& origin) {
    const std::filesystem::path file = QFileInfo(path).filesystemFilePath();
    const std::string side = sidecarPath(file.string());
    std::error_code ec;
    if (!std::filesystem::exists(side, ec))
        return true;
    const SidecarCheck check = checkSidecar(readTextFile(file).bytes.value_or(""),
                                            readTextFile(side).bytes.value_or(""), driveModel());
    origin = qs(check.origin);
    if (check.refusal.empty())
        return true;
    return m_services.dialogs->cautiousQuestion(this, kTakeAnyway.arg(qs(check.refusal), origin),
                                                kSidecarTitle) == Answer::Yes;
}

}  // namespace velorin
