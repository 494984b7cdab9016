#pragma once
// velorin-drive-sim started for one test: the simulated drive on a pseudo-terminal, ended when
// the object goes.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace velorin::test {

class DriveSimProcess {
public:
    // Starts the simulator with `args` and waits for the device path it prints.
    explicit DriveSimProcess(const QStringList& args = {});
    ~DriveSimProcess() { stop(); }
    // Sends SIGTERM; false when the simulator was still running 3 s later (it is then killed).
    bool stop();

    bool started() const { return !m_path.isEmpty(); }
    // "/dev/pts/5"
    QString devicePath() const { return m_path; }
    // Lines "W REG VALUE" the simulator printed so far (started with --log).
    QStringList writes();
    // The built simulator.
    static QString program();

private:
    QProcess m_process;
    QString m_path;
    QStringList m_writes;
};

}  // namespace velorin::test
