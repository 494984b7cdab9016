// The question box the running program shows: the text and title given, no icon, Yes and No
// only, and Yes reported as 6.

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QMessageBox>
#include <QTimer>

#include "platform/QtDialogs.h"

using namespace velorin;

// Presses `button` on the next modal box once it is up; `seen` gets "title: text", " (icon)" if
// the box has one, and the number of its buttons.
static void answerNextBox(QMessageBox::StandardButton button, std::string& seen) {
    QTimer::singleShot(0, [&seen, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = QString("%1: %2%3, buttons: %4").arg(box->windowTitle(), box->text())
                   .arg(box->icon() == QMessageBox::NoIcon ? "" : " (icon)")
                   .arg(box->buttons().size()).toStdString();
        box->button(button)->click();
    });
}

TEST(QtDialogs, QuestionReportsTheButtonPressed) {
    QtDialogs dialogs;
    std::string seen;
    for (auto [press, answer] : {std::pair{QMessageBox::Yes, Answer::Yes}, std::pair{QMessageBox::No, Answer::No}}) {
        answerNextBox(press, seen);
        EXPECT_EQ(dialogs.question(nullptr, "是否解除禁止反轉?", "反轉設定"), answer);
        EXPECT_EQ(seen, "反轉設定: 是否解除禁止反轉?, buttons: 2");
    }
}

// The save dialog offers "Data.txt", adds the filter's extension to a name typed without one,
// and asks before replacing an existing file.
TEST(QtDialogs, SaveDialogAddsTheExtensionAndAsksBeforeReplacing) {
    QTemporaryDir folder;
    QtDialogs dialogs;
    const QString filter = "Text Files (*.txt);;All Files (*.*)";
    for (bool exists : {false, true}) {
        if (exists) {
            QFile file(folder.filePath("Backup.txt"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        QString offered;
        std::string asked;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            offered = name->text();
            name->setText("Backup");
            if (exists)
                answerNextBox(QMessageBox::Yes, asked);
            static_cast<QDialog*>(dialog)->accept();
        });
        const auto path = dialogs.saveFile(nullptr, "參數儲存", folder.path(), "Data.txt", filter);
        EXPECT_EQ(offered, "Data.txt");
        EXPECT_EQ(path, folder.filePath("Backup.txt"));
        EXPECT_EQ(asked.find("Backup.txt") != std::string::npos, exists) << asked;
    }
}
