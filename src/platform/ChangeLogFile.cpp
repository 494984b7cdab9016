#include "ChangeLogFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

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

std::optional<std::string> ChangeLogFile::append(const std::string& line) {
    QFile file(m_path);
    auto failure = [this, &file] {
        return QStringLiteral("%1：%2")
            .arg(QDir::toNativeSeparators(m_path), file.errorString())
            .toStdString();
    };
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Append: every write lands at the end of the file as it is then, whoever else appends.
    // Unbuffered: the line goes to the system in one write, never split by a buffer.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return failure();
    const auto size = static_cast<qint64>(line.size());
    if (file.write(line.data(), size) != size || !file.flush())
        return failure();
    return std::nullopt;
}

}  // namespace velorin
