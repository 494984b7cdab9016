#pragma once
// A small plot of a motor's V/F curve on its page, drawn from the fields as they are typed: the
// five points fe0/V0 ... fe4/V4 joined in order, each labelled with its codes; a point whose
// frequency is out of order is drawn apart, as the drive would refuse it. Every label is placed
// clear of the axes, their texts, the points and the other labels.

#include <QRectF>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "editor/EditorCore.h"

namespace velorin {

class VfCurvePlot : public QWidget {
    Q_OBJECT
public:
    using Source = std::function<std::vector<VfPoint>()>;
    explicit VfCurvePlot(Source source, QWidget* parent = nullptr);

    // Where everything goes at the widget's present size.
    struct Picture {
        QRectF area;                          // inside the axes
        std::vector<QRectF> axisTexts;        // "0", the top frequency, the top voltage
        std::vector<QString> axisWords;       // their texts
        std::vector<QPointF> points;          // the points with both values, in curve order
        std::vector<bool> outOfOrder;         // per point
        std::vector<QRectF> labels;           // per point
        std::vector<QString> labelTexts;      // per point
        static constexpr double kMarker = 5;  // half the side of the box a point's mark fills
    };
    Picture picture() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width * 5 / 8; }
    QSize sizeHint() const override { return {480, 300}; }
    QSize minimumSizeHint() const override { return {240, 150}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;

    Source m_source;
};

}  // namespace velorin
