#include "window/centring.h"

#include "window/tavola.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace vortana {

bool onWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

// A window's frame as the window system has it once the window is up: the
// widget's copy of it can lag behind a new mapping.
QRect frameOf(const QWidget &w)
{
    const QWindow *handle = w.windowHandle();
    return handle && handle->isExposed() ? handle->frameGeometry() : w.frameGeometry();
}

void centreFrame(QWidget &window, const QRect &area)
{
    QRect frame = frameOf(window);
    frame.moveCenter(area.center());
    QWindow *handle = window.windowHandle();
    if (handle && handle->isExposed())
        handle->setFramePosition(frame.topLeft());
    else
        window.move(frame.topLeft());
}

void Tavola::showCentred()
{
    // Wayland leaves placement to the compositor.
    centrePending_ = !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (centrePending_) {
        adjustSize();
        centre();
    }
    show();
    // Installing it again at a new game only keeps it where it is.
    windowHandle()->installEventFilter(this);
}

// The window manager adds its frame only once the window is up; the frame
// as a whole then goes to the middle of the screen.
void Tavola::centreOnceFramed()
{
    if (centrePending_ && windowHandle() && windowHandle()->isExposed() && !windowHandle()->frameMargins().isNull()) {
        centrePending_ = false;
        centre();
    }
}

bool Tavola::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == windowHandle() && e->type() == QEvent::Expose)
        centreOnceFramed();
    return QMainWindow::eventFilter(watched, e);
}

void Tavola::centre()
{
    if (const QScreen *screen = this->screen())
        centreFrame(*this, screen->availableGeometry());
}

}  // namespace vortana
