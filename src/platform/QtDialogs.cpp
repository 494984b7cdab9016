#include "QtDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace velorin {

void QtDialogs::message(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

int QtDialogs::question(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? kYes : kNo;
}

std::optional<QString> QtDialogs::input(QWidget* parent, const QString& prompt,
                                        const QString& title) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtDialogs::openFile(QWidget* parent, const QString& title,
                                           const QString& folder, const QString& filter) {
    const QString path = QFileDialog::getOpenFileName(parent, title, folder, filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> QtDialogs::saveFile(QWidget* parent, const QString& title,
                                           const QString& folder, const QString& defaultName,
                                           const QString& filter) {
    const QString start = defaultName.isEmpty() ? folder : QDir(folder).filePath(defaultName);
    // QFileDialog asks before replacing an existing file unless told not to.
    const QString path = QFileDialog::getSaveFileName(parent, title, start, filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

}  // namespace velorin
