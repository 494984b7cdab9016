#pragma once
// A file's bytes as they are on disk, for comparing what a program wrote.

#include <QFile>
#include <string>

namespace velorin::test {

inline std::string fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "(no file)";
}

}  // namespace velorin::test
