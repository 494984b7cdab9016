// The boxes the running program shows.

#include <gtest/gtest.h>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtWidgets>
#include <cstdlib>

#include "platform/QtDialogs.h"
#include "support/Files.h"

using namespace velorin;

// Presses `button` on the next modal box; `seen` gets "title: text", " (icon)", its buttons.
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

TEST(QtDialogs, SaveDialogAddsTheExtensionAndAsksBeforeReplacing) {
    QTemporaryDir folder;
    QtDialogs dialogs;
    const QString filter = "Text Files (*.txt);;All Files (*.*)";
    for (bool exists : {false, true}) {
        if (exists)
            ASSERT_TRUE(test::writeFile(folder.filePath("Backup.txt"), ""));
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

// The box before a write: its rows under the columns' headers, Yes and No reported, No the
// default (Enter does not write).
TEST(QtDialogs, TableBoxShowsItsRowsAndReportsTheButton) {
    QtDialogs dialogs;
    QTranslator qtTexts;  // the README's picture speaks the program's language, as it runs
    if (std::getenv("VELORIN_SCREENSHOT_DIR") &&
        qtTexts.load("qtbase_zh_TW", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    for (auto [yes, answer] : {std::pair{true, Answer::Yes}, std::pair{false, Answer::No}}) {
        QStringList shown;
        QTimer::singleShot(0, [&shown, yes = yes] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            auto* table = box->findChild<QTableWidget*>();
            ASSERT_NE(table, nullptr);
            shown << box->windowTitle() << table->horizontalHeaderItem(3)->text()
                  << table->item(1, 0)->text() << table->item(1, 3)->text();
            if (const char* dir = std::getenv("VELORIN_SCREENSHOT_DIR"))
                box->grab().save(QString::fromLocal8Bit(dir) + "/writePreview.png");
            auto* buttons = box->findChild<QDialogButtonBox*>();
            EXPECT_TRUE(buttons->button(QDialogButtonBox::No)->isDefault());
            buttons->button(yes ? QDialogButtonBox::Yes : QDialogButtonBox::No)->click();
        });
        const Answer got = dialogs.confirmTable(
            nullptr, "寫入將變更變頻機的 2 項參數。是否寫入？", {"參數", "名稱", "變頻機的值", "寫入後"},
            {{"P00.02", "監看變數LPF時間", "6", "7"}, {"P01.06", "起動轉速", "0.00", "1.50"}},
            "寫入變頻機");
        EXPECT_EQ(got, answer);
        EXPECT_EQ(shown, (QStringList{"寫入變頻機", "寫入後", "P01.06", "1.50"}));
    }
}
