#include "WindowChangeLog.h"

#include "LinkStatus.h"
#include "ui/texts/WindowTexts.h"

namespace velorin {

WindowChangeLog::WindowChangeLog(const Services& services, const QString& command)
    : m_services(services),
      m_source{linkPortText(services).toStdString(), &services.link(), command.toStdString()} {}

void WindowChangeLog::record(const ChangeEntry& entry) {
    if (!m_services.changeLog)
        return;
    if (auto failure = m_services.changeLog->record(entry))
        m_failure = std::move(failure);
}

void WindowChangeLog::tellFailure(QWidget* parent) const {
    if (m_failure)
        m_services.dialogs->message(
            parent, QString::fromUtf8(kChangeLogFailedText).arg(QString::fromStdString(*m_failure)),
            QString::fromUtf8(kChangeLogTitle));
}

}  // namespace velorin
