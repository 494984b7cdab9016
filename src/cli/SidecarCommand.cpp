// The sidecar of a backup, as backup writes it and restore heeds it.

#include <QDateTime>
#include <filesystem>

#include "CliEditorTexts.h"
#include "EditorCommand.h"
#include "drive/FaultHistoryRead.h"
#include "editor/BackupSidecar.h"
#include "model/Sha256.h"
#include "platform/SafeFile.h"
#include "CliTexts.h"

#ifndef VELORIN_VERSION
#define VELORIN_VERSION "0"
#endif

namespace velorin {

std::optional<std::int32_t> EditorCommand::readDriveValue(int reg) {
    const ReplyCheck r = checked(m_line->read(static_cast<std::uint16_t>(reg)));
    if (r.outcome != LinkOutcome::Ok)
        return std::nullopt;
    return driveValue(reg, r.value);
}

void EditorCommand::writeSidecar(const QString& path, const std::string& text) {
    BackupSidecar sidecar;
    sidecar.model = readDriveValue(faultregs::kModel);
    sidecar.runHours = readDriveValue(faultregs::kRunHours);
    sidecar.station = m_request.station;
    sidecar.link = m_request.settings;
    const QDateTime now = QDateTime::currentDateTime();
    sidecar.date = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
    sidecar.program = "velorin-cli " VELORIN_VERSION;
    sidecar.sha256 = sha256Hex(text);
    const std::string target = sidecarPath(path.toStdString());
    if (const auto failure = writeFileSafely(target, sidecarText(sidecar))) {
        // The backup stands without it, as files did before sidecars; an older one beside it
        // would speak for another file.
        std::error_code ec;
        std::filesystem::remove(target, ec);
        m_console.line(QStringLiteral("%1note: %2 has no sidecar: %3")
                           .arg(QLatin1String(clitext::kPrefix), path,
                                clitext::writeFaultLine(*failure)));
    }
}

int EditorCommand::checkFileOrigin(const QString& path, std::optional<std::int32_t> driveModel) {
    const std::string side = sidecarPath(path.toStdString());
    std::error_code ec;
    if (!std::filesystem::exists(side, ec))
        return 0;
    const TextFileRead file = readTextFile(path.toStdString());
    const TextFileRead sidecar = readTextFile(side);
    const SidecarCheck check =
        checkSidecar(file.bytes.value_or(""), sidecar.bytes.value_or(""), driveModel);
    if (check.sidecar)
        m_console.line(QLatin1String(clitext::kPrefix) + QStringLiteral("note: ") +
                       clitext::sidecarOrigin(*check.sidecar));
    const bool altered =
        check.verdict == SidecarVerdict::Altered || check.verdict == SidecarVerdict::Unreadable;
    if ((altered && !m_request.force) ||
        (check.verdict == SidecarVerdict::OtherModel && !m_request.forceModel)) {
        error(QStringLiteral("%1: %2 Nothing was written (%3 overrides).")
                  .arg(path, clitext::sidecarRefusal(check),
                       QLatin1String(altered ? "--force" : "--force-model")));
        return exitCode(CliExit::Refused);
    }
    if (check.refused())
        m_console.line(QStringLiteral("%1note: %2 (written anyway)")
                           .arg(QLatin1String(clitext::kPrefix), clitext::sidecarRefusal(check)));
    return 0;
}

}  // namespace velorin
