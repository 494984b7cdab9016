#pragma once
// The change log as a file: changes.log in the user's data folder, shared by velorin and
// velorin-cli, readable by its user only. Each line is appended under an exclusive lock on the
// file and taken back when it could not be written whole (a full disk), so two programs logging at
// once each add whole lines, and a line is written before the next register goes out.

#include <QString>

#include "records/ChangeLog.h"

namespace velorin {

inline constexpr const char* kChangeLogFileName = "changes.log";

// The user's data folder of velorin (QStandardPaths::AppDataLocation), the same for velorin-cli.
QString changeLogFolder();

class ChangeLogFile final : public ChangeLog {
public:
    explicit ChangeLogFile(QString path) : m_path(std::move(path)) {}
    const QString& path() const { return m_path; }

protected:
    // The local time with its offset from UTC: "2026-12-07T14:03:22+08:00".
    std::string localTime() const override;
    std::optional<std::string> append(const std::string& line) override;

private:
    QString m_path;
};

}  // namespace velorin
