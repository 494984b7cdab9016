// The message and question boxes the running program shows: the text and title given, no icon,
// and Yes reported as 6.

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "platform/QtDialogs.h"

using namespace velorin;

namespace {

struct SeenBox {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::Information;
    QList<QMessageBox::StandardButton> buttons;
};

// Answers the next modal box by pressing `button` once it is up.
void answerNextBox(QMessageBox::StandardButton button, SeenBox& seen) {
    QTimer::singleShot(0, [&seen, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.icon = box->icon();
        for (QAbstractButton* b : box->buttons()) seen.buttons << box->standardButton(b);
        box->button(button)->click();
    });
}

}  // namespace

TEST(QtDialogs, QuestionReportsYesAs6AndNoAs7) {
    QtDialogs dialogs;
    struct Case {
        QMessageBox::StandardButton press;
        int expected;
    } cases[] = {{QMessageBox::Yes, kYes}, {QMessageBox::No, kNo}};
    for (const auto& c : cases) {
        SeenBox seen;
        answerNextBox(c.press, seen);
        EXPECT_EQ(dialogs.question(nullptr, "是否解除禁止反轉?", "反轉設定"), c.expected);
        EXPECT_EQ(seen.text, "是否解除禁止反轉?");
        EXPECT_EQ(seen.title, "反轉設定");
        EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
        EXPECT_EQ(seen.buttons.size(), 2);
    }
}

TEST(QtDialogs, MessageHasOneOkButton) {
    QtDialogs dialogs;
    SeenBox seen;
    answerNextBox(QMessageBox::Ok, seen);
    dialogs.message(nullptr, "未選擇通訊埠", "通訊錯誤");
    EXPECT_EQ(seen.text, "未選擇通訊埠");
    EXPECT_EQ(seen.title, "通訊錯誤");
    EXPECT_EQ(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
}
