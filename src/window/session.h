#pragma once

#include <functional>

class QApplication;

namespace vortana {

// Runs `handler` when the desktop session ends: the session manager asks
// for the game's data before a logout, or SIGTERM or SIGHUP arrives (a
// logout without a session manager, a shutdown).
void onSessionEnd(QApplication &app, const std::function<void()> &handler);

}  // namespace vortana
