#include "Screenshots.h"

#include <QApplication>
#include <QEvent>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace velorin {

namespace {
// After showing, once laid out; then once it has read what it shows first (the editor its first
// page over the line, which at 9600 baud takes a second or two).
constexpr int kSettleMs[] = {0, 1500, 4000};
}  // namespace

ScreenshotTaker::ScreenshotTaker(const QString& folder, QObject* parent)
    : QObject(parent), m_folder(folder) {
    m_folder.mkpath(QStringLiteral("."));
    qApp->installEventFilter(this);
}

bool ScreenshotTaker::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        const QString name = w->objectName();
        if (w->isWindow() && !name.isEmpty() && !m_seen.contains(name)) {
            m_seen.insert(name);
            // Each picture replaces the one before, while the window is still there.
            for (int delay : kSettleMs)
                QTimer::singleShot(delay, this, [this, window = QPointer<QWidget>(w)] {
                    if (window)
                        take(window);
                });
        }
    }
    return QObject::eventFilter(watched, event);
}

void ScreenshotTaker::take(QWidget* window) {
    const QString path = m_folder.filePath(window->objectName() + QStringLiteral(".png"));
    if (window->grab().save(path, "PNG")) {
        // Told once; the later pictures of a settling window replace it quietly.
        if (!m_saved.contains(path)) {
            m_saved << path;
            std::fprintf(stderr, "screenshot: %s\n", qPrintable(path));
        }
    } else {
        std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(path));
    }
}

}  // namespace velorin
