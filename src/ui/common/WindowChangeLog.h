#pragma once
// One write of a window into the program's change log: its lines name the port as the status
// line does and the window's command, and a log that cannot be written is told once the write
// is over (once in the program's run), never in the middle of the write.

#include <QString>
#include <optional>

#include "platform/ChangeLogFile.h"
#include "platform/Services.h"

namespace velorin {

class WindowChangeLog {
public:
    // `command`: what the technician chose ("寫入變頻機").
    WindowChangeLog(const Services& services, const QString& command);
    // Where the lines come from; its link follows the write's changes of settings and station.
    const ChangeSource& source() const { return m_source; }
    void setCommand(const QString& command) { m_source.command = command.toStdString(); }
    void record(const ChangeEntry& entry);
    // After the write: says that the log could not be written, if this write was the first of
    // the program's run to find that.
    void tellFailure(QWidget* parent) const;

private:
    const Services& m_services;
    ChangeSource m_source;
    std::optional<std::string> m_failure;
};

}  // namespace velorin
