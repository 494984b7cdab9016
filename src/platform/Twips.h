#pragma once
// Window layouts are given in twips (1/1440 inch); the screen's DPI turns them into pixels
// (15 twips a pixel at 96 DPI).

#include <QFont>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <cmath>

namespace velorin {

inline double screenDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

inline int twipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips * screenDpi() / 1440.0));
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

// The two typefaces of the windows, with CJK fonts the set-up installs standing in where the
// original ones are missing.
inline QFont windowFont(const QStringList& families, double points) {
    QFont f(families.front());
    f.setFamilies(families + QStringList{QStringLiteral("Noto Serif CJK TC"),
                                         QStringLiteral("Noto Sans CJK TC")});
    f.setPointSizeF(points);
    return f;
}
// 標楷體 (regular script), with AR PL UKai standing in.
inline QFont kaiFont(double points = 12) {
    return windowFont({QStringLiteral("標楷體"), QStringLiteral("AR PL UKai TW")}, points);
}
// 新細明體 (Ming), with AR PL UMing standing in.
inline QFont mingFont(double points = 9) {
    return windowFont({QStringLiteral("新細明體"), QStringLiteral("AR PL UMing TW")}, points);
}

}  // namespace velorin
