#pragma once
// A file's bytes as they are on disk, for comparing what a program wrote, and files to read.

#include <QFile>
#include <string>
#include <string_view>

namespace velorin::test {

inline std::string fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "(no file)";
}

// Writes `bytes` as the whole file, or after what it holds with `append`; false when it cannot.
inline bool writeFile(const QString& path, std::string_view bytes, bool append = false) {
    QFile f(path);
    const auto size = static_cast<qint64>(bytes.size());
    return f.open(append ? QIODevice::Append : QIODevice::WriteOnly) &&
           f.write(bytes.data(), size) == size;
}

}  // namespace velorin::test
