#pragma once
// The run panel's two toolbar pictures, drawn at 48 × 48 pixels.

#include <QPixmap>

namespace velorin {

// A curved arrow turning back to the left: go back to the mode menu.
QPixmap returnPicture();

// An open door with an arrow leading out: end the program.
QPixmap quitPicture();

}  // namespace velorin
