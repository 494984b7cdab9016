#include "ChangeLogFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <system_error>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velorin {

QString changeLogFolder() {
    // The folder is named after the program; velorin-cli logs into velorin's.
    const QString ownName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("velorin"));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setApplicationName(ownName);
    return folder;
}

std::string ChangeLogFile::localTime() const {
    // With its offset, so a line stays unambiguous across a change of summer time.
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
}

#ifdef Q_OS_WIN
std::optional<std::string> ChangeLogFile::append(const std::string& line) {
    QFile file(m_path);
    auto failure = [this, &file] {
        return QStringLiteral("%1：%2")
            .arg(QDir::toNativeSeparators(m_path), file.errorString())
            .toStdString();
    };
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return failure();
    const auto size = static_cast<qint64>(line.size());
    if (file.write(line.data(), size) != size || !file.flush())
        return failure();
    return std::nullopt;
}
#else
std::optional<std::string> ChangeLogFile::append(const std::string& line) {
    auto failure = [this](int error) {
        return QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(m_path)).toStdString() +
               std::generic_category().message(error);
    };
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // The log holds the values written, the factory unlock codes among them: the user's alone.
    const int fd = ::open(QFile::encodeName(m_path).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0)
        return failure(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISREG(info.st_mode) ? errno : EINVAL;
        ::close(fd);
        return failure(error);
    }
    // Every program that logs holds the lock while it appends, so the size seen here is where
    // this line starts, and a line cut short can be taken back without touching another's.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    int error = 0;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    std::string record = line;
    char last = '\n';
    if (size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n')
        record.insert(record.begin(), '\n');  // the end of a line another write left cut short
    for (std::size_t done = 0; done < record.size() && error == 0;) {
        const ssize_t n = ::write(fd, record.data() + done, record.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            error = errno;
        else if (n == 0)
            error = EIO;
    }
    if (error != 0 && size >= 0 && ::ftruncate(fd, size) != 0) {
        // The part written stays; the next line starts on a line of its own all the same.
    }
    ::flock(fd, LOCK_UN);
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error != 0)
        return failure(error);
    return std::nullopt;
}
#endif

}  // namespace velorin
