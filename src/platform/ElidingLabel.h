#pragma once
// A one-line label for a status bar or a status line of a fixed-size window: a text longer than
// the room it has ends in "…" instead of being cut, and the whole text is its tooltip.

#include <QLabel>

namespace velorin {

class ElidingLabel : public QLabel {
public:
    explicit ElidingLabel(QWidget* parent = nullptr) : QLabel(parent) {}
    // Sets the text; the tooltip holds it whole whenever it does not fit.
    void setFullText(const QString& text);
    const QString& fullText() const { return m_full; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();
    QString m_full;
};

}  // namespace velorin
