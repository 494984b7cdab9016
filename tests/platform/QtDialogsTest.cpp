// The question box the running program shows: the text and title given, no icon, Yes and No
// only, and Yes reported as 6.

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
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

TEST(QtDialogs, QuestionReportsYesAs6AndNoAs7) {
    QtDialogs dialogs;
    std::string seen;
    for (auto [press, answer] : {std::pair{QMessageBox::Yes, 6}, std::pair{QMessageBox::No, 7}}) {
        answerNextBox(press, seen);
        EXPECT_EQ(dialogs.question(nullptr, "是否解除禁止反轉?", "反轉設定"), answer);
        EXPECT_EQ(seen, "反轉設定: 是否解除禁止反轉?, buttons: 2");
    }
}
