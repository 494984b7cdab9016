// The editor's way to the drive's fault history: 異常履歷 in the drive menu, on Ctrl+H.

#include <QAction>
#include <QMenu>

#include "ParameterEditor.h"
#include "ui/diagnosis/FaultHistoryWindow.h"

namespace velorin {

void ParameterEditor::addFaultHistoryItem(QMenu* driveMenu) {
    QAction* item = driveMenu->addAction(QStringLiteral("異常履歷"));
    item->setObjectName(QStringLiteral("faultHistoryItem"));
    item->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(item, &QAction::triggered, this, &ParameterEditor::onFaultHistoryTriggered);
}

void ParameterEditor::onFaultHistoryTriggered() {
    const bool offline = m_services.link.offline || !m_line;
    if (offline)
        convertFields();  // the fields, a loaded file's values among them, as working values
    if (!m_faultHistory) {
        // Offline the history is what the fields hold; online the drive's, read through the
        // editor's own line session.
        RegisterLookup values = [this](int reg) -> std::optional<std::int32_t> {
            return m_core->working().at(reg);
        };
        m_faultHistory =
            new FaultHistoryWindow(m_services, offline ? nullptr : m_line.get(), values, this);
    }
    m_faultHistory->show();
    m_faultHistory->raise();
    m_faultHistory->activateWindow();
    m_faultHistory->refresh();
}

}  // namespace velorin
