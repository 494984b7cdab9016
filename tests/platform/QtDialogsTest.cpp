// The boxes the running program shows, and the keys a technician answers them with: a plain Y or
// N as well as Alt+Y and Alt+N, in the question boxes and in the table box before a write, with
// the program's Chinese button texts (是(Y), 否(N)) as with Qt's own.

#include <gtest/gtest.h>

#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QtWidgets>
#include <cstdlib>

#include "platform/QtDialogs.h"
#include "support/Files.h"

namespace velorin {
namespace {

// Presses `button` on the next modal box; `seen` gets "title: text", " (icon)", its buttons.
void answerNextBox(QMessageBox::StandardButton button, std::string& seen) {
    QTimer::singleShot(0, [&seen, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = QString("%1: %2%3, buttons: %4").arg(box->windowTitle(), box->text())
                   .arg(box->icon() == QMessageBox::NoIcon ? "" : " (icon)")
                   .arg(box->buttons().size()).toStdString();
        box->button(button)->click();
    });
}

enum class Box { Question, Cautious, Table };

Answer ask(QtDialogs& dialogs, Box box) {
    switch (box) {
        case Box::Question:
            return dialogs.question(nullptr, "是否解除禁止反轉?", "反轉設定");
        case Box::Cautious:
            return dialogs.cautiousQuestion(nullptr, "是否放棄這些變更？", "參數未寫入");
        case Box::Table:
            break;
    }
    return dialogs.confirmTable(nullptr, "是否寫入？", {"參數", "寫入後"}, {{"P01.06", "1.50"}},
                                "寫入變頻機");
}

TEST(QtDialogs, QuestionShowsItsTitleAndTextAndReportsTheButtonPressed) {
    QtDialogs dialogs;
    std::string seen;
    answerNextBox(QMessageBox::No, seen);
    EXPECT_EQ(ask(dialogs, Box::Question), Answer::No);
    EXPECT_EQ(seen, "反轉設定: 是否解除禁止反轉?, buttons: 2");
}

// Enter answers a plain question Yes, but a question before something that cannot be taken
// back No, and the table box No too: the reset, the ErP warnings and dropping edits once took
// Enter as Yes.
TEST(DialogKeys, YAndNAnswerEveryBoxWithOrWithoutAltAndEnterOnlyAPlainQuestion) {
    QTranslator qtTexts;
    const bool chinese =
        qtTexts.load("qtbase_zh_TW", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    const std::tuple<Box, Qt::Key, Qt::KeyboardModifiers, Answer> cases[] = {
        {Box::Question, Qt::Key_Y, Qt::NoModifier, Answer::Yes},
        {Box::Question, Qt::Key_N, Qt::NoModifier, Answer::No},
        {Box::Question, Qt::Key_Y, Qt::AltModifier, Answer::Yes},
        {Box::Cautious, Qt::Key_Y, Qt::NoModifier, Answer::Yes},
        {Box::Cautious, Qt::Key_N, Qt::AltModifier, Answer::No},
        {Box::Table, Qt::Key_Y, Qt::NoModifier, Answer::Yes},
        {Box::Table, Qt::Key_N, Qt::NoModifier, Answer::No},
        {Box::Table, Qt::Key_Y, Qt::AltModifier, Answer::Yes},
        {Box::Question, Qt::Key_Return, Qt::NoModifier, Answer::Yes},
        {Box::Cautious, Qt::Key_Return, Qt::NoModifier, Answer::No},
        {Box::Table, Qt::Key_Return, Qt::NoModifier, Answer::No},
    };
    for (bool translated : {false, true}) {
        if (translated && !chinese)
            continue;
        if (translated)
            QApplication::installTranslator(&qtTexts);
        for (const auto& [box, key, modifiers, expected] : cases) {
            SCOPED_TRACE(testing::Message()
                         << "box " << int(box) << " key " << char(key) << " alt "
                         << (modifiers == Qt::AltModifier) << " zh " << translated);
            QtDialogs dialogs;
            bool shown = false, stuck = false;
            QTimer::singleShot(0, [&, key = key, modifiers = modifiers] {
                QWidget* modal = QApplication::activeModalWidget();
                ASSERT_NE(modal, nullptr);
                shown = true;
                // Through the window, as the system delivers keys: Alt+Y is a shortcut.
                QTest::keyClick(modal->windowHandle(), key, modifiers);
                // A key that did nothing: the box still waits.
                QTimer::singleShot(300, modal, [modal, &stuck] {
                    stuck = true;
                    modal->close();
                });
            });
            EXPECT_EQ(ask(dialogs, box), expected);
            EXPECT_TRUE(shown);
            EXPECT_FALSE(stuck);
        }
        QApplication::removeTranslator(&qtTexts);
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

// The box before a write: its rows under the columns' headers (its keys and default are the
// DialogKeys table's).
TEST(QtDialogs, TableBoxShowsItsRows) {
    QtDialogs dialogs;
    QTranslator qtTexts;  // the README's picture speaks the program's language, as it runs
    if (std::getenv("VELORIN_SCREENSHOT_DIR") &&
        qtTexts.load("qtbase_zh_TW", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    QStringList shown;
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        auto* table = box->findChild<QTableWidget*>();
        ASSERT_NE(table, nullptr);
        shown << box->windowTitle() << table->horizontalHeaderItem(3)->text()
              << table->item(1, 0)->text() << table->item(1, 3)->text();
        if (const char* dir = std::getenv("VELORIN_SCREENSHOT_DIR"))
            box->grab().save(QString::fromLocal8Bit(dir) + "/writePreview.png");
        box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Yes)->click();
    });
    EXPECT_EQ(dialogs.confirmTable(
                  nullptr, "寫入將變更變頻機的 2 項參數。是否寫入？", {"參數", "名稱", "變頻機的值", "寫入後"},
                  {{"P00.02", "監看變數LPF時間", "6", "7"}, {"P01.06", "起動轉速", "0.00", "1.50"}},
                  "寫入變頻機"),
              Answer::Yes);
    EXPECT_EQ(shown, (QStringList{"寫入變頻機", "寫入後", "P01.06", "1.50"}));
    QApplication::removeTranslator(&qtTexts);
}

}  // namespace
}  // namespace velorin
