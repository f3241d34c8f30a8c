// The end of a Windows session: WM_QUERYENDSESSION, which Qt hands on as
// the session manager's request for the game's data.
#include "window/session.h"

#include <QApplication>
#include <QSessionManager>

namespace vortana {

void onSessionEnd(QApplication &app, const std::function<void()> &handler)
{
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [handler](QSessionManager &) { handler(); });
}

}  // namespace vortana
