#pragma once
// `velorin --screenshot DIR`: a picture of every window as it first comes up, so what the program
// looks like can be shown from a machine without a screen.

#include <QDir>
#include <QObject>
#include <QSet>

namespace velorin {

class ScreenshotTaker : public QObject {
    Q_OBJECT
public:
    // Watches every window of the application; saves DIR/<window>.png when each one is first
    // shown, and again 1.5 s later (connectionWindow.png, modeMenu.png, runPanel.png,
    // parameterEditor.png).
    explicit ScreenshotTaker(const QString& folder, QObject* parent = nullptr);

    // The pictures saved so far.
    QStringList saved() const { return m_saved; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void take(QWidget* window);

    QDir m_folder;
    QSet<QString> m_seen;
    QStringList m_saved;
};

}  // namespace velorin
