#include "VfCurvePlot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace velorin {

namespace {

const QColor kCurve(0x00, 0x72, 0xb2);       // blue
const QColor kOutOfOrder(0xd5, 0x5e, 0x00);  // vermillion, the colour of a change not written
const QColor kAxis(0x50, 0x50, 0x50);
constexpr int kMargin = 36;

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

}  // namespace

VfCurvePlot::VfCurvePlot(Source source, QWidget* parent)
    : QWidget(parent), m_source(std::move(source)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VfCurvePlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().mid().color());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    const std::vector<VfPoint> points = m_source();
    double fMax = 0, vMax = 0;
    for (const VfPoint& p : points) {
        fMax = std::max(fMax, p.frequency.value_or(0));
        vMax = std::max(vMax, p.voltage.value_or(0));
    }
    fMax = niceCeiling(fMax);
    vMax = niceCeiling(vMax);
    const QRectF area(kMargin + 8, 12, width() - kMargin - 28, height() - kMargin - 16);
    auto at = [&](double f, double v) {
        return QPointF(area.left() + area.width() * f / fMax,
                       area.bottom() - area.height() * v / vMax);
    };

    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() * 0.75));
    painter.setFont(small);
    painter.setPen(kAxis);
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.bottomLeft(), area.topLeft());
    painter.drawText(QRectF(area.right() - 60, area.bottom() + 2, 60, 16), Qt::AlignRight,
                     QStringLiteral("%1 Hz").arg(fMax, 0, 'f', 0));
    painter.drawText(QRectF(area.left() - kMargin - 6, area.top() - 6, kMargin, 16), Qt::AlignRight,
                     QStringLiteral("%1 V").arg(vMax, 0, 'f', 0));
    painter.drawText(QRectF(area.left() - 12, area.bottom() + 2, 24, 16), Qt::AlignCenter,
                     QStringLiteral("0"));

    QPainterPath curve;
    bool started = false;
    for (const VfPoint& p : points) {
        if (!p.frequency || !p.voltage)
            continue;
        const QPointF point = at(*p.frequency, *p.voltage);
        if (started)
            curve.lineTo(point);
        else
            curve.moveTo(point);
        started = true;
    }
    painter.setPen(QPen(kCurve, 2));
    painter.drawPath(curve);

    std::vector<QRectF> placed;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const VfPoint& p = points[i];
        if (!p.frequency || !p.voltage)
            continue;
        const QPointF point = at(*p.frequency, *p.voltage);
        const QColor colour = p.outOfOrder ? kOutOfOrder : kCurve;
        painter.setPen(QPen(colour, 2));
        painter.setBrush(p.outOfOrder ? QBrush(Qt::white) : QBrush(colour));
        // Out of order: a larger open square, told apart without its colour.
        if (p.outOfOrder)
            painter.drawRect(QRectF(point - QPointF(5, 5), QSizeF(10, 10)));
        else
            painter.drawEllipse(point, 3.5, 3.5);
        const QString label =
            QStringLiteral("%1/%2").arg(QString::fromStdString(Catalogue::codeOf(p.frequencyReg)),
                                        QString::fromStdString(Catalogue::codeOf(p.voltageReg)));
        // Labels alternate above and below the curve; one that would cover another (points
        // that coincide, as fe2 and fe4 often do) moves on until it is clear.
        const double dy = i % 2 == 0 ? -18 : 6;
        QRectF box(point.x() - 50, point.y() + dy, 100, 14);
        box.moveLeft(std::clamp(box.left(), 2.0, width() - box.width() - 2));
        for (int tries = 0; tries < 8; ++tries) {
            box.moveTop(std::clamp(box.top(), 2.0, height() - box.height() - 2));
            const bool covers = std::any_of(placed.begin(), placed.end(),
                                            [&](const QRectF& r) { return r.intersects(box); });
            if (!covers)
                break;
            box.translate(0, box.bottom() + 14 < height() ? 14 : -14 * (tries + 2));
        }
        placed.push_back(box);
        painter.setPen(p.outOfOrder ? kOutOfOrder : kAxis);
        painter.drawText(box, Qt::AlignCenter, label);
    }
}

}  // namespace velorin
