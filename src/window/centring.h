// Windows and dialogs placed in the middle of what they belong to. On
// Wayland the compositor alone places windows.
#pragma once

class QRect;
class QWidget;

namespace vortana {

bool onWayland();

// A window's frame as the window system has it once the window is up.
QRect frameOf(const QWidget &w);

// Puts a top-level window's frame in the middle of `area`. Before the
// window is up the frame is unknown, and the window alone is centred.
void centreFrame(QWidget &window, const QRect &area);

}  // namespace vortana
