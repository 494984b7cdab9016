#pragma once
// A window's handlers wait on the line while events are processed, so the technician can close
// the window in the middle of one. The guard holds such a close back until the last handler
// under way has ended, so no handler ever finds its window gone.

#include <QCloseEvent>
#include <QWidget>

namespace velorin {

class HandlerGuard {
public:
    explicit HandlerGuard(QWidget& window) : m_window(window) {}

    // Marks a handler under way for as long as it lives.
    class Scope {
    public:
        explicit Scope(HandlerGuard& guard) : m_guard(guard) { ++m_guard.m_depth; }
        ~Scope() {
            if (--m_guard.m_depth == 0 && m_guard.m_closeRequested && !m_guard.m_leaving)
                m_guard.closeWindow();
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        HandlerGuard& m_guard;
    };

    // Whether a handler is under way.
    bool busy() const { return m_depth > 0; }
    // Whether the technician closed the window while a handler was under way.
    bool closeRequested() const { return m_closeRequested; }

    // For closeEvent: true when the close waits for the handlers (the event is then ignored);
    // false when the window may close now.
    bool holdBack(QCloseEvent* event) {
        if (!busy() || m_leaving)
            return false;
        m_closeRequested = true;
        event->ignore();
        return true;
    }

    // The window closes itself (it hands over to its successor), handlers or not.
    void closeWindow() {
        m_leaving = true;
        m_window.close();
    }

private:
    QWidget& m_window;
    int m_depth = 0;
    bool m_closeRequested = false;
    bool m_leaving = false;
};

}  // namespace velorin
