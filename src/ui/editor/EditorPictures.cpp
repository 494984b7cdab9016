#include "EditorPictures.h"

#include <QPainter>
#include <QPainterPath>

#include "platform/ToolbarPicture.h"

namespace velorin {

namespace {

void arrowHead(QPainter& p, const QColor& colour, QPolygonF head) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

}  // namespace

QPixmap savePicture() {
    QPixmap picture = blankToolbarPicture();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body(0x2b, 0x4c, 0x8c);
    p.setPen(QPen(body.darker(140), 2));
    p.setBrush(body);
    QPolygonF outline{{5, 5}, {37, 5}, {43, 11}, {43, 43}, {5, 43}};
    p.drawPolygon(outline);
    p.setBrush(QColor(0xd8, 0xdd, 0xe6));  // the shutter
    p.drawRect(QRectF(13, 5, 20, 13));
    p.setBrush(body.darker(140));
    p.drawRect(QRectF(26, 7, 4, 9));
    p.setBrush(Qt::white);  // the label
    p.drawRect(QRectF(11, 25, 26, 16));
    p.setPen(QPen(QColor(0x99, 0x99, 0x99), 1.5));
    for (int y : {30, 35}) p.drawLine(QPointF(14, y), QPointF(34, y));
    return picture;
}

QPixmap loadPicture() {
    QPixmap picture = blankToolbarPicture();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor folder(0xe0, 0xb0, 0x40);
    p.setPen(QPen(folder.darker(150), 2));
    p.setBrush(folder.darker(115));  // the back of the folder with its tab
    p.drawPolygon(QPolygonF{{4, 12}, {16, 12}, {20, 16}, {40, 16}, {40, 42}, {4, 42}});
    p.setBrush(Qt::white);  // the sheet coming out
    p.drawRect(QRectF(12, 6, 22, 26));
    p.setPen(QPen(QColor(0x99, 0x99, 0x99), 1.5));
    for (int y : {12, 17, 22}) p.drawLine(QPointF(16, y), QPointF(30, y));
    p.setPen(QPen(folder.darker(150), 2));
    p.setBrush(folder);  // the front, opened forward
    p.drawPolygon(QPolygonF{{4, 42}, {10, 24}, {46, 24}, {40, 42}});
    return picture;
}

QPixmap writePicture() {
    QPixmap picture = blankToolbarPicture();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    // The drive: a grey box with a small display and a row of keys.
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 2));
    p.setBrush(QColor(0xb8, 0xbc, 0xc4));
    p.drawRoundedRect(QRectF(24, 10, 21, 34), 3, 3);
    p.setBrush(QColor(0x30, 0xa0, 0x50));
    p.drawRect(QRectF(28, 15, 13, 7));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x40, 0x40, 0x40));
    for (int x : {28, 33, 38}) p.drawEllipse(QPointF(x + 1.5, 30), 2, 2);
    // The sheet of values and the arrow carrying them into the drive.
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3, 4, 16, 21));
    for (int y : {9, 13, 17, 21}) p.drawLine(QPointF(6, y), QPointF(16, y));
    const QColor red(0xc8, 0x1e, 0x1e);
    p.setPen(QPen(red, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 35), QPointF(17, 35));
    arrowHead(p, red, {{24, 35}, {15, 28}, {15, 42}});
    return picture;
}

QPixmap backPicture() {
    QPixmap picture = blankToolbarPicture();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(0x2a, 0x8a, 0x3a);
    QPainterPath body;
    body.moveTo(40, 42);
    body.lineTo(40, 26);
    body.cubicTo(40, 18, 34, 16, 28, 16);
    body.lineTo(16, 16);
    p.setPen(QPen(green, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(body);
    arrowHead(p, green, {{3, 16}, {18, 5}, {18, 27}});
    return picture;
}

QPixmap exitPicture() {
    QPixmap picture = blankToolbarPicture();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor red(0xc0, 0x20, 0x20);
    p.setPen(QPen(red, 6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    // An open ring with a bar through its gap.
    p.drawArc(QRectF(8, 9, 32, 32), 120 * 16, 300 * 16);
    p.drawLine(QPointF(24, 4), QPointF(24, 24));
    return picture;
}

}  // namespace velorin
