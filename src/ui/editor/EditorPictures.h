#pragma once
// The parameter editor's five toolbar pictures, drawn at 48 × 48 pixels.

#include <QPixmap>

namespace velorin {

// A diskette: keep the fields in a parameter file.
QPixmap savePicture();
// An opened folder with a sheet coming out: fill the fields from a parameter file.
QPixmap loadPicture();
// A sheet with an arrow into a drive's box: send the fields to the drive.
QPixmap writePicture();
// An arrow bending back to the left: go back to the previous window.
QPixmap backPicture();
// A power symbol: end the program.
QPixmap exitPicture();

}  // namespace velorin
