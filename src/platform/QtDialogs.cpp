#include "QtDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace velorin {

namespace {

// A box as narrow as a short text would lose its title in the title bar ("E… R"): it is made
// wide enough for the title and the title bar's buttons.
void widenForTitle(QMessageBox& box) {
    const int titleWidth = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 160;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

// Y and N pressed without Alt, Ctrl or Meta click the box's Yes and No.
class PlainKeyAnswers : public QObject {
public:
    PlainKeyAnswers(QPushButton* yes, QPushButton* no) : m_yes(yes), m_no(no) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool plain = (key->modifiers() & (Qt::AltModifier | Qt::ControlModifier |
                                                    Qt::MetaModifier)) == 0;
            QPushButton* button = key->key() == Qt::Key_Y ? m_yes : key->key() == Qt::Key_N ? m_no : nullptr;
            if (plain && button) {
                button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPushButton* m_yes;
    QPushButton* m_no;
};

std::optional<QString> typed(QWidget* parent, const QString& prompt, const QString& title,
                             QLineEdit::EchoMode echo) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, prompt, echo, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

}  // namespace

void QtDialogs::message(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    widenForTitle(box);
    box.exec();
}

namespace {

Answer askYesNo(QWidget* parent, const QString& text, const QString& title, bool noByDefault) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setEscapeButton(QMessageBox::No);
    if (noByDefault)
        box.setDefaultButton(QMessageBox::No);
    widenForTitle(box);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

}  // namespace

Answer QtDialogs::question(QWidget* parent, const QString& text, const QString& title) {
    return askYesNo(parent, text, title, false);
}

Answer QtDialogs::cautiousQuestion(QWidget* parent, const QString& text, const QString& title) {
    return askYesNo(parent, text, title, true);
}

Answer QtDialogs::confirmTable(QWidget* parent, const QString& text, const QStringList& columns,
                               const std::vector<QStringList>& rows, const QString& title) {
    QDialog box(parent);
    box.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&box);
    auto* label = new QLabel(text, &box);
    label->setWordWrap(true);
    layout->addWidget(label);
    if (!rows.empty()) {
        auto* table = new QTableWidget(static_cast<int>(rows.size()), columns.size(), &box);
        table->setHorizontalHeaderLabels(columns);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->verticalHeader()->hide();
        for (int r = 0; r < static_cast<int>(rows.size()); ++r)
            for (int c = 0; c < columns.size() && c < rows[r].size(); ++c)
                table->setItem(r, c, new QTableWidgetItem(rows[r][c]));
        // The second column (a name) takes the width left; the others fit their contents.
        table->resizeColumnsToContents();
        if (columns.size() > 1)
            table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
        layout->addWidget(table);
        box.resize(720, std::min(560, 140 + 30 * static_cast<int>(rows.size())));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    buttons->button(QDialogButtonBox::No)->setDefault(true);
    layout->addWidget(buttons);
    // A plain Y or N answers too, as in the question boxes, whichever control has the focus
    // (the table would take the letter to search its rows).
    PlainKeyAnswers keys(buttons->button(QDialogButtonBox::Yes), buttons->button(QDialogButtonBox::No));
    box.installEventFilter(&keys);
    for (QWidget* child : box.findChildren<QWidget*>()) child->installEventFilter(&keys);
    return box.exec() == QDialog::Accepted ? Answer::Yes : Answer::No;
}

std::optional<QString> QtDialogs::input(QWidget* parent, const QString& prompt,
                                        const QString& title) {
    return typed(parent, prompt, title, QLineEdit::Normal);
}

std::optional<QString> QtDialogs::password(QWidget* parent, const QString& prompt,
                                           const QString& title) {
    return typed(parent, prompt, title, QLineEdit::Password);
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
    QFileDialog dialog(parent, title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!defaultName.isEmpty())
        dialog.selectFile(defaultName);
    // A name typed without an extension gets the first filter's, before the dialog asks whether
    // to replace an existing file of that name (it asks unless told not to).
    static const QRegularExpression firstExtension(QStringLiteral(R"(^[^;]*\(\*\.(\w+)\))"));
    if (const QRegularExpressionMatch match = firstExtension.match(filter); match.hasMatch())
        dialog.setDefaultSuffix(match.captured(1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtDialogs::chooseFolder(QWidget* parent, const QString& title,
                                               const QString& folder) {
    const QString path = QFileDialog::getExistingDirectory(parent, title, folder);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

}  // namespace velorin
