#include "VfCurvePlot.h"

#include <QFontMetricsF>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace velorin {

namespace {

const QColor kCurve(0x00, 0x72, 0xb2);       // blue
const QColor kOutOfOrder(0xd5, 0x5e, 0x00);  // vermillion, the colour of a change not written
const QColor kAxis(0x50, 0x50, 0x50);

// A round top for an axis: 1, 2 or 5 times a power of ten at or above `value`.
double niceCeiling(double value) {
    if (value <= 0)
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {1.0, 2.0, 5.0, 10.0})
        if (value <= step * power)
            return step * power;
    return 10 * power;
}

bool crosses(const QLineF& segment, const QRectF& box) {
    if (box.contains(segment.p1()) || box.contains(segment.p2()))
        return true;
    const QLineF edges[] = {{box.topLeft(), box.topRight()},
                            {box.topRight(), box.bottomRight()},
                            {box.bottomRight(), box.bottomLeft()},
                            {box.bottomLeft(), box.topLeft()}};
    return std::any_of(std::begin(edges), std::end(edges), [&](const QLineF& edge) {
        return segment.intersects(edge, nullptr) == QLineF::BoundedIntersection;
    });
}

}  // namespace

VfCurvePlot::VfCurvePlot(Source source, QWidget* parent)
    : QWidget(parent), m_source(std::move(source)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QFont VfCurvePlot::labelFont() const {
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() * 0.75));
    return small;
}

VfCurvePlot::Picture VfCurvePlot::picture() const {
    Picture picture;
    const std::vector<VfPoint> points = m_source();
    double fMax = 0, vMax = 0;
    for (const VfPoint& p : points) {
        fMax = std::max(fMax, p.frequency.value_or(0));
        vMax = std::max(vMax, p.voltage.value_or(0));
    }
    fMax = niceCeiling(fMax);
    vMax = niceCeiling(vMax);
    const QFontMetricsF metrics(labelFont());
    const double line = metrics.height() + 2;
    const QString fTop = QStringLiteral("%1 Hz").arg(fMax, 0, 'f', 0);
    const QString vTop = QStringLiteral("%1 V").arg(vMax, 0, 'f', 0);
    // Room above the highest point for a label, left of the axis for the top voltage, below the
    // axis for the frequencies.
    const double left = metrics.horizontalAdvance(vTop) + 10;
    const double top = line + 2 * Picture::kMarker + 4;
    picture.area = QRectF(left, top, width() - left - 12, height() - top - line - 6);
    const QRectF& area = picture.area;
    picture.axisTexts = {QRectF(area.left() - line, area.bottom() + 3, 2 * line, line),
                         QRectF(area.right() - metrics.horizontalAdvance(fTop) - 4,
                                area.bottom() + 3, metrics.horizontalAdvance(fTop) + 4, line),
                         QRectF(2, area.top() - line / 2, left - 6, line)};
    picture.axisWords = {QStringLiteral("0"), fTop, vTop};

    for (const VfPoint& p : points) {
        if (!p.frequency || !p.voltage)
            continue;
        picture.points.emplace_back(area.left() + area.width() * *p.frequency / fMax,
                                    area.bottom() - area.height() * *p.voltage / vMax);
        picture.outOfOrder.push_back(p.outOfOrder);
        picture.labelTexts.push_back(
            QStringLiteral("%1/%2").arg(QString::fromStdString(Catalogue::codeOf(p.frequencyReg)),
                                        QString::fromStdString(Catalogue::codeOf(p.voltageReg))));
    }

    // What no label may cover: the axes, their texts, every point's mark and the labels placed.
    std::vector<QRectF> taken = picture.axisTexts;
    taken.emplace_back(area.left() - 1, area.bottom() - 1, area.width() + 1, 2);
    taken.emplace_back(area.left() - 1, area.top(), 2, area.height());
    for (const QPointF& p : picture.points)
        taken.emplace_back(p - QPointF(Picture::kMarker, Picture::kMarker),
                           QSizeF(2 * Picture::kMarker, 2 * Picture::kMarker));
    std::vector<QLineF> segments;
    for (std::size_t i = 1; i < picture.points.size(); ++i)
        segments.emplace_back(picture.points[i - 1], picture.points[i]);
    const QRectF inside = QRectF(rect()).adjusted(2, 2, -2, -2);

    // Each label goes beside its point, above, below, right, left or on a diagonal, moving out
    // step by step until it is clear. Crossing the curve costs as much as two steps away (the
    // label's ground hides the line under it), so a label stays near its point.
    for (std::size_t i = 0; i < picture.points.size(); ++i) {
        const QPointF p = picture.points[i];
        const QSizeF size(metrics.horizontalAdvance(picture.labelTexts[i]) + 6, line);
        QRectF best;
        int bestCost = -1;
        for (int step = 1; step <= 6 && (bestCost < 0 || bestCost > step - 1); ++step) {
            const double d = Picture::kMarker + 3 + (step - 1) * line * 0.75;
            const double e = d * 0.7;
            const QPointF corners[] = {
                {p.x() - size.width() / 2, p.y() - d - size.height()},
                {p.x() - size.width() / 2, p.y() + d},
                {p.x() + d, p.y() - size.height() / 2},
                {p.x() - d - size.width(), p.y() - size.height() / 2},
                {p.x() + e, p.y() - e - size.height()},
                {p.x() + e, p.y() + e},
                {p.x() - e - size.width(), p.y() - e - size.height()},
                {p.x() - e - size.width(), p.y() + e},
            };
            for (const QPointF& corner : corners) {
                const QRectF box(corner, size);
                int cost = (inside.contains(box) ? 0 : 1000) + step - 1;
                for (const QRectF& r : taken) cost += r.intersects(box) ? 1000 : 0;
                for (const QLineF& s : segments) cost += crosses(s, box) ? 2 : 0;
                if (bestCost < 0 || cost < bestCost) {
                    best = box;
                    bestCost = cost;
                }
                if (cost == step - 1)
                    break;
            }
        }
        picture.labels.push_back(best);
        taken.push_back(best);
    }
    return picture;
}

void VfCurvePlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().mid().color());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    const Picture picture = this->picture();
    const QRectF& area = picture.area;
    painter.setFont(labelFont());
    painter.setPen(kAxis);
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.bottomLeft(), area.topLeft());
    for (int i : {0, 1, 2})
        painter.drawText(picture.axisTexts[i], i == 0 ? Qt::AlignCenter : Qt::AlignRight,
                         picture.axisWords[i]);

    QPainterPath curve;
    for (std::size_t i = 0; i < picture.points.size(); ++i)
        i == 0 ? curve.moveTo(picture.points[i]) : curve.lineTo(picture.points[i]);
    painter.setPen(QPen(kCurve, 2));
    painter.drawPath(curve);

    for (std::size_t i = 0; i < picture.points.size(); ++i) {
        const QPointF& point = picture.points[i];
        const bool outOfOrder = picture.outOfOrder[i];
        const QColor colour = outOfOrder ? kOutOfOrder : kCurve;
        painter.setPen(QPen(colour, 2));
        painter.setBrush(outOfOrder ? QBrush(Qt::white) : QBrush(colour));
        // Out of order: a larger open square, told apart without its colour.
        if (outOfOrder)
            painter.drawRect(QRectF(point - QPointF(Picture::kMarker, Picture::kMarker),
                                    QSizeF(2 * Picture::kMarker, 2 * Picture::kMarker)));
        else
            painter.drawEllipse(point, 3.5, 3.5);
        QColor ground = palette().base().color();
        ground.setAlpha(210);
        painter.fillRect(picture.labels[i], ground);
        painter.setPen(outOfOrder ? kOutOfOrder : kAxis);
        painter.drawText(picture.labels[i], Qt::AlignCenter, picture.labelTexts[i]);
    }
}

}  // namespace velorin
