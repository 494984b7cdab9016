#include "Commands.h"
#include "model/FaultRegisters.h"

namespace velorin {

int RestoreCommand::run() {
    if (m_request.manyDrives())
        return restoreMany();
    ParameterFileLoad load;
    if (int c = loadFile(m_request.file, load))
        return c;
    if (const QStringList lacking = pagesLacking(load); !lacking.isEmpty())
        m_console.line(QStringLiteral("%1note: %2 lacks pages %3; the drive keeps its values there")
                           .arg(QLatin1String(clitext::kPrefix), m_request.file,
                                lacking.join(QLatin1Char(' '))));
    if (int c = openEditor())
        return c;
    // The drive's own link and lock values, so the write changes them only where the file
    // differs from the drive; with --changed-only every page of the file, so nothing the drive
    // already holds is written again.
    std::vector<int> drivePages;
    for (int page = 0; page < static_cast<int>(load.pages.size()); ++page)
        if (load.pages[page] && (m_request.changedOnly || page == pages::kLinkCopies ||
                                    page == pages::kLockReset))
            drivePages.push_back(page);
    if (int c = readPages(drivePages))
        return c;
    const std::optional<std::int32_t> driveModel = readDriveValue(faultregs::kModel);
    if (int c = checkFileOrigin(m_request.file, driveModel)) {
        m_line->close();
        return c;
    }
    // Of several drives' files, each is named for the model of the drive it came from.
    if (m_request.fileModel && driveModel && *m_request.fileModel != *driveModel) {
        if (!m_request.forceModel) {
            m_line->close();
            error(QStringLiteral("%1: the file is named for model %2, the drive at station %3 is "
                                 "model %4. Nothing was written (--force-model overrides).")
                      .arg(m_request.file)
                      .arg(*m_request.fileModel)
                      .arg(m_request.station)
                      .arg(*driveModel));
            return exitCode(CliExit::Refused);
        }
        m_console.line(QStringLiteral("%1note: the file is named for model %2, the drive is "
                                      "model %3 (written anyway)")
                           .arg(QLatin1String(clitext::kPrefix))
                           .arg(*m_request.fileModel)
                           .arg(*driveModel));
    }
    if (int c = takeFile(load)) {
        m_line->close();
        return c;
    }
    if (int c = rangeCheck(nullptr)) {
        m_line->close();
        return c;
    }
    if (int c = checkBeforeWrite()) {
        m_line->close();
        return c;
    }
    if (m_request.dryRun)
        m_console.line(QStringLiteral("range check passed"));
    const int code = writeAndReport(
        nullptr, nullptr, m_request.changedOnly ? WriteScope::ChangedOnly : WriteScope::Everything);
    if (code == 0 && !m_request.dryRun) {
        // The link and lock values go out only where the file differs from the drive; with
        // --changed-only every parameter does.
        int unchanged = 0;
        const Catalogue& catalogue = Catalogue::instance();
        for (int page = 0; page < static_cast<int>(load.pages.size()); ++page)
            if (load.pages[page])
                for (int reg : m_request.changedOnly ? catalogue.page(page).fields
                                                     : catalogue.page(page).writtenWhenChanged)
                    unchanged += catalogue.parameter(reg).access == Access::Editable && !sent(reg);
        m_console.line(QStringLiteral("restore done: %1 writes sent, %2 confirmed, %3 parameters "
                                      "left as the drive held them")
                           .arg(m_writesSent.size())
                           .arg(m_writesConfirmed)
                           .arg(unchanged));
    }
    return code;
}

}  // namespace velorin
