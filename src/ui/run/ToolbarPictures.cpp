#include "ToolbarPictures.h"

#include <QPainter>
#include <QPainterPath>

#include "platform/ToolbarPicture.h"

namespace velorin {

QPixmap returnPicture() {
    QPixmap picture = blankToolbarPicture();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    // The arrow's body: from the lower right up and round to the left.
    QPainterPath body;
    body.moveTo(38, 40);
    body.cubicTo(42, 22, 34, 12, 18, 14);
    QPen pen(QColor(0x1f, 0x5f, 0xbf), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(body);

    // Its head, pointing left.
    QPainterPath head;
    head.moveTo(4, 14);
    head.lineTo(20, 3);
    head.lineTo(20, 25);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xbf));
    p.drawPath(head);
    return picture;
}

QPixmap quitPicture() {
    QPixmap picture = blankToolbarPicture();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    // The door frame and the door swung open into the room.
    p.setPen(QPen(QColor(0x55, 0x3a, 0x1e), 3));
    p.setBrush(QColor(0xf2, 0xe6, 0xd0));
    p.drawRect(QRectF(6, 4, 24, 40));
    QPolygonF door{{6, 4}, {20, 9}, {20, 48 - 1}, {6, 44}};
    p.setBrush(QColor(0xa8, 0x6b, 0x32));
    p.drawPolygon(door);
    p.setBrush(QColor(0xf0, 0xc0, 0x30));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(17, 27), 1.8, 1.8);

    // The arrow leading out to the right.
    const QColor red(0xc8, 0x1e, 0x1e);
    p.setPen(QPen(red, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(24, 24), QPointF(38, 24));
    QPolygonF head{{46, 24}, {35, 15}, {35, 33}};
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawPolygon(head);
    return picture;
}

}  // namespace velorin
