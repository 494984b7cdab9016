#pragma once
// velorin-drive-sim on a pseudo-terminal for one test, ended when the object goes.

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace velorin::test {

class DriveSimProcess {
public:
    // Starts the simulator with `args` and waits for the device path it prints.
    explicit DriveSimProcess(const QStringList& args = {}) {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(program(), args);
        if (!m_process.waitForStarted(5000)) return;
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
        }
        if (m_process.canReadLine()) m_path = QString::fromUtf8(m_process.readLine()).trimmed();
    }
    ~DriveSimProcess() { stop(); }
    // Sends SIGTERM; false when the simulator was still running 3 s later (it is then killed).
    bool stop() {
        if (m_process.state() == QProcess::NotRunning) return true;
        m_process.closeWriteChannel();
        m_process.terminate();
        const bool ended = m_process.waitForFinished(3000);
        if (!ended) m_process.kill();
        m_process.waitForFinished(1000);
        return ended;
    }

    bool started() const { return !m_path.isEmpty(); }
    // "/dev/pts/5"
    QString devicePath() const { return m_path; }
    // Lines "W REG VALUE" the simulator printed so far (started with --log).
    QStringList writes() {
        m_process.waitForReadyRead(0);
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            if (line.startsWith(QLatin1String("W "))) m_writes << line.mid(2);
        }
        return m_writes;
    }
    static QString program() {
        return QDir(qEnvironmentVariable("VELORIN_BUILD_DIR"))
            .filePath(QStringLiteral("tools/drive-sim/velorin-drive-sim"));
    }

private:
    QProcess m_process;
    QString m_path;
    QStringList m_writes;
};

}  // namespace velorin::test
