// The keys a technician answers the program's boxes with: a plain Y or N as well as Alt+Y and
// Alt+N, in the question boxes and in the table box before a write, with the program's Chinese
// button texts (是(Y), 否(N)) as with Qt's own.

#include <gtest/gtest.h>

#include <QLibraryInfo>
#include <QTest>
#include <QTranslator>
#include <QtWidgets>

#include "platform/QtDialogs.h"

namespace velorin {
namespace {

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

}  // namespace
}  // namespace velorin
