#pragma once
// The canvas every toolbar picture is drawn on: 48 pixels square, transparent.

#include <QPixmap>

namespace velorin {

inline constexpr int kToolbarPictureSide = 48;

inline QPixmap blankToolbarPicture() {
    QPixmap picture(kToolbarPictureSide, kToolbarPictureSide);
    picture.fill(Qt::transparent);
    return picture;
}

}  // namespace velorin
