#pragma once
// The boxes the technician answers, as the running program shows them: message boxes without an
// icon, an input box, and the file dialogs.

#include "Services.h"

namespace velorin {

class QtDialogs : public Dialogs {
public:
    void message(QWidget* parent, const QString& text, const QString& title) override;
    Answer question(QWidget* parent, const QString& text, const QString& title) override;
    Answer cautiousQuestion(QWidget* parent, const QString& text, const QString& title) override;
    Answer confirmTable(QWidget* parent, const QString& text, const QStringList& columns,
                        const std::vector<QStringList>& rows, const QString& title) override;
    std::optional<QString> input(QWidget* parent, const QString& prompt,
                                 const QString& title) override;
    std::optional<QString> password(QWidget* parent, const QString& prompt,
                                    const QString& title) override;
    std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& folder,
                                    const QString& filter) override;
    // Asks before a file that exists is replaced.
    std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& folder,
                                    const QString& defaultName, const QString& filter) override;
    std::optional<QString> chooseFolder(QWidget* parent, const QString& title,
                                        const QString& folder) override;
};

}  // namespace velorin
