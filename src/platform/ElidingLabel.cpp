#include "ElidingLabel.h"

namespace velorin {

void ElidingLabel::setFullText(const QString& text) {
    m_full = text;
    fit();
}

QSize ElidingLabel::sizeHint() const {
    const QMargins m = contentsMargins();
    return {fontMetrics().horizontalAdvance(m_full) + m.left() + m.right(),
            QLabel::sizeHint().height()};
}

QSize ElidingLabel::minimumSizeHint() const {
    // Room for a few characters: the rest of the window decides the width.
    return {fontMetrics().horizontalAdvance(QStringLiteral("……")), QLabel::minimumSizeHint().height()};
}

void ElidingLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void ElidingLabel::fit() {
    const QString shown = fontMetrics().elidedText(m_full, Qt::ElideRight, contentsRect().width());
    if (shown != text())
        setText(shown);
    setToolTip(shown == m_full ? QString() : m_full);
}

}  // namespace velorin
