#include <QFile>

#include "Commands.h"

namespace velorin {

int LogCommand::run() {
    const QString path = m_env.changeLogPath();
    QFile file(path);
    if (!file.exists()) {
        m_console.line(QStringLiteral("no writes logged yet (%1)").arg(path));
        return exitCode(CliExit::Ok);
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error(QStringLiteral("cannot read the change log %1: %2").arg(path, file.errorString()));
        return exitCode(CliExit::Refused);
    }
    const ChangeLogFilter filter{m_request.since, m_request.logStation};
    int unreadable = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        const auto entry = parseChangeLogLine(std::string_view(line.constData(), line.size()));
        if (!entry) {
            // A line another program is writing this moment, or one edited by hand.
            unreadable += !line.trimmed().isEmpty();
            continue;
        }
        if (filter.admits(*entry))
            m_out << QString::fromStdString(changeLogLine(*entry));
    }
    m_out.flush();
    if (unreadable > 0)
        error(QStringLiteral("%1 lines of %2 are not change log lines; left out")
                  .arg(unreadable)
                  .arg(path));
    return exitCode(CliExit::Ok);
}

}  // namespace velorin
