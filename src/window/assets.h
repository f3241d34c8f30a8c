// The game's own images, drawn in code: window icon, pointers, pictures.
// A dpr draws the picture for a screen of that device pixel ratio.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace vortana::assets {

QIcon windowIcon();                          // 32 x 32, and the theme's sizes 16 to 256
QCursor gunSight(qreal dpr = 1);             // over the window surface
QCursor paricmdPointer(qreal dpr = 1);       // hot spot (10, 10)
QCursor iconPointer(qreal dpr = 1);          // a small square inside a square
QIcon exitPicture();                         // 32 x 32 and 16 x 16, and 48 and 64 for HiDPI
QPixmap nextPicture(qreal dpr = 1);          // cmdNext: normal,
QPixmap nextDisabledPicture(qreal dpr = 1);  //   disabled (its usual look)
QPixmap nextPressedPicture(qreal dpr = 1);   //   and pressed

inline constexpr QPoint kParicmdHotSpot{10, 10};

}  // namespace vortana::assets
