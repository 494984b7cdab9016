#include "QtFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace velorin {

QString QtFolders::programFolder() const {
    return QCoreApplication::applicationDirPath();
}

QString QtFolders::desktopFolder() const {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return desktop.isEmpty() ? QDir::homePath() : desktop;
}

}  // namespace velorin
