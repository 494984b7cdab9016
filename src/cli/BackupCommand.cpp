#include "Commands.h"

#include "editor/ParameterSets.h"
#include "platform/SafeFile.h"
#include "CliTexts.h"

namespace velorin {

int BackupCommand::run() {
    if (m_request.manyDrives())
        return backUpMany();
    // Before the drive is read: a target that cannot be written is told at once.
    if (const auto refusal = targetRefusal(m_request.file.toStdString())) {
        error(clitext::writeFaultLine(*refusal));
        return exitCode(CliExit::Refused);
    }
    if (int c = openEditor())
        return c;
    const int read = readPages(m_request.pages);
    if (read != 0) {
        error(QStringLiteral("no file was written"));
        return read;
    }
    const std::string text = onlineSaveText(*m_core);
    if (const auto failure = writeFileSafely(m_request.file.toStdString(), text)) {
        m_line->close();
        error(clitext::writeFaultLine(*failure));
        return exitCode(CliExit::Refused);
    }
    // Beside the file, which drive it came from and its SHA-256.
    writeSidecar(m_request.file, text);
    m_line->close();
    m_console.line(QStringLiteral("%1 parameters of %2 pages saved in %3")
                       .arg(std::count(text.begin(), text.end(), '\n'))
                       .arg(m_request.pages.size())
                       .arg(m_request.file));
    return exitCode(CliExit::Ok);
}

}  // namespace velorin
