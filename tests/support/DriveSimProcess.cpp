#include "DriveSimProcess.h"

#include <QDir>

namespace velorin::test {

QString DriveSimProcess::program() {
    return QDir(qEnvironmentVariable("VELORIN_BUILD_DIR"))
        .filePath(QStringLiteral("tools/drive-sim/velorin-drive-sim"));
}

DriveSimProcess::DriveSimProcess(const QStringList& args) {
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(program(), args);
    if (!m_process.waitForStarted(5000)) return;
    while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
    }
    if (m_process.canReadLine()) m_path = QString::fromUtf8(m_process.readLine()).trimmed();
}

bool DriveSimProcess::stop() {
    if (m_process.state() == QProcess::NotRunning) return true;
    m_process.closeWriteChannel();
    m_process.terminate();
    const bool ended = m_process.waitForFinished(3000);
    if (!ended) m_process.kill();
    m_process.waitForFinished(1000);
    return ended;
}

QStringList DriveSimProcess::writes() {
    m_process.waitForReadyRead(0);
    while (m_process.canReadLine()) {
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        if (line.startsWith(QLatin1String("W "))) m_writes << line.mid(2);
    }
    return m_writes;
}

}  // namespace velorin::test
