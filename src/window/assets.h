// The game's own images, drawn in code: window icon, pointers, pictures.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace vortana::assets {

QIcon windowIcon();            // 32 x 32
QCursor gunSight();            // over the window surface
QCursor paricmdPointer();      // hot spot (10, 10)
QCursor iconPointer();         // a small square inside a square
QIcon exitPicture();           // 32 x 32 and 16 x 16
QPixmap nextPicture();         // cmdNext: normal,
QPixmap nextDisabledPicture(); //   disabled (its usual look)
QPixmap nextPressedPicture();  //   and pressed

inline constexpr QPoint kParicmdHotSpot{10, 10};

}  // namespace vortana::assets
