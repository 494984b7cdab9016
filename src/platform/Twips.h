#pragma once
// Window layouts are given in twips (1/1440 inch); the screen's DPI turns them into pixels
// (15 twips a pixel at 96 DPI).

#include <QFont>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QString>
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
inline QFont windowFont(const QString& family, double points) {
    QFont f(family);
    f.setFamilies({family, QStringLiteral("AR PL UKai TW"), QStringLiteral("Noto Serif CJK TC"),
                   QStringLiteral("Noto Sans CJK TC"), QStringLiteral("AR PL UMing TW")});
    f.setPointSizeF(points);
    return f;
}
inline QFont kaiFont(double points = 12) { return windowFont(QStringLiteral("標楷體"), points); }
inline QFont mingFont(double points = 9) { return windowFont(QStringLiteral("新細明體"), points); }

}  // namespace velorin
