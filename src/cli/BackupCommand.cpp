#include "Commands.h"

#include "editor/ParameterSets.h"

namespace velorin {

int BackupCommand::run() {
    if (int c = openEditor())
        return c;
    const int read = readPages(m_request.pages);
    if (read != 0) {
        error(QStringLiteral("no file was written"));
        return read;
    }
    m_line->close();
    const std::string text = onlineSaveText(*m_core);
    if (const auto failure = writeFileSafely(m_request.file.toStdString(), text)) {
        error(qs(*failure).replace(QLatin1Char('\n'), QStringLiteral(": ")));
        return exitCode(CliExit::Refused);
    }
    m_console.line(QStringLiteral("%1 parameters of %2 pages saved in %3")
                       .arg(std::count(text.begin(), text.end(), '\n'))
                       .arg(m_request.pages.size())
                       .arg(m_request.file));
    return exitCode(CliExit::Ok);
}

}  // namespace velorin
