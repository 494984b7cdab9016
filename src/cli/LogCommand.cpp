#include <QFile>
#include <QStringList>

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
    const QByteArray text = file.readAll();
    const ChangeLogRead read = readChangeLog(std::string_view(text.constData(), text.size()));
    const ChangeLogFilter filter{m_request.since, m_request.logStation};
    for (const ChangeEntry& entry : read.entries)
        if (filter.admits(entry))
            m_out << QString::fromStdString(changeLogLine(entry));
    m_out.flush();
    if (!read.damagedLines.empty()) {
        // A line another program is writing this moment, one cut short, or one edited by hand.
        QStringList numbers;
        for (int line : read.damagedLines) numbers << QString::number(line);
        error(QStringLiteral("%1 lines of %2 are not change log lines (line %3); left out, the "
                             "entries around them are shown")
                  .arg(read.damagedLines.size())
                  .arg(path, numbers.join(QStringLiteral(", "))));
    }
    return exitCode(CliExit::Ok);
}

}  // namespace velorin
