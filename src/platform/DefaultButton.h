#pragma once
// Enter in a window that is no dialog: the button that has the focus is pressed, else the
// window's main button, as a dialog's default button would be. Called from keyPressEvent with
// the keys the controls left unused (a list, a field, a check box leave Enter to their window).

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace velorin {

inline bool pressOnEnter(const QKeyEvent* event, QPushButton* main) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
    QPushButton* button = focused ? focused : main;
    if (button && button->isEnabled() && button->isVisible())
        button->click();
    return true;
}

}  // namespace velorin
