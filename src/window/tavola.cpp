#include "window/tavola.h"

#include "play/random.h"
#include "window/assets.h"
#include "window/layout.h"
#include "window/platform.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

namespace vortana {

Tavola::Tavola(Platform &platform, Rng &rng, QWidget *parent)
    : QMainWindow(parent), platform_(platform), rng_(rng)
{
    setObjectName(QStringLiteral("Tavola"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowIcon(assets::windowIcon());
    setAttribute(Qt::WA_QuitOnClose, false);  // the game decides when it ends
}

Tavola::~Tavola() = default;

void Tavola::start()
{
    run(&Tavola::Form_Initialize);
    if (ended_)
        return;
    ensureLoaded();
    showCentred();
}

void Tavola::run(void (Tavola::*handler)())
{
    if (ended_)
        return;
    try {
        (this->*handler)();
    } catch (const ProgramEnded &) {  // NOLINT(bugprone-empty-catch): it only unwinds
    } catch (const RuntimeError &e) {
        if (ended_)
            return;
        // The error stops the game before it is reported: however long the
        // report stays open, no tick and no handler runs behind it.
        halt();
        platform_.errorBox(this, e.message);
        hide();
        platform_.quit(1);
    }
}

void Tavola::ensureLoaded()
{
    if (!isLoaded() && !loading_)
        load();
}

void Tavola::load()
{
    loading_ = true;
    buildControls();
    buildMenu();
    buildTimers();
    activatePending_ = true;
    try {
        Form_Load();
    } catch (...) {
        loading_ = false;
        throw;
    }
    loading_ = false;
}

void Tavola::unload()
{
    activatePending_ = false;
    hide();
    for (QTimer *t : std::as_const(timers_)) {
        t->stop();
        t->deleteLater();
    }
    timers_.clear();
    // The unload starts inside a menu item's own signal: everything goes
    // through deleteLater so that nothing dies under Qt's feet.
    setMenuWidget(nullptr);
    if (QWidget *old = takeCentralWidget()) {
        old->hide();
        old->deleteLater();
    }
    surface_ = nullptr;
    controls_.clear();
    menuItems_.clear();
}

QWidget *Tavola::control(std::string_view name) const { return controls_.value(qs(name)); }
FlatButton *Tavola::button(std::string_view name) const { return qobject_cast<FlatButton *>(control(name)); }
Label *Tavola::label(std::string_view name) const { return qobject_cast<Label *>(control(name)); }
QTimer *Tavola::timer(std::string_view name) const { return timers_.value(qs(name)); }
QAction *Tavola::menuItem(std::string_view name) const { return menuItems_.value(qs(name)); }

bool Tavola::event(QEvent *e)
{
    if (e->type() == QEvent::Move || e->type() == QEvent::WindowActivate)
        centreOnceFramed();
    // Activation runs once per load, after the window is shown; closing a
    // message box re-activates the window and must not run it again.
    if (e->type() == QEvent::Show && activatePending_) {
        QTimer::singleShot(0, this, [this] {
            if (activatePending_ && isVisible()) {
                activatePending_ = false;
                run(&Tavola::Form_Activate);
            }
        });
    }
    return QMainWindow::event(e);
}

void Tavola::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isLoaded())
        run(&Tavola::Form_Resize);
}

void Tavola::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    if (isLoaded())
        run(&Tavola::Form_Resize);
}

void Tavola::closeEvent(QCloseEvent *e)
{
    // Closing the window (Alt+F4, the title bar) ends the game as Exit
    // does: the farewell, and a better score saved. The exit routine hides
    // the window itself.
    e->ignore();
    if (!ended_ && isLoaded())
        run(&Tavola::cmdExit_Click);
}

void Tavola::halt()
{
    ended_ = true;
    activatePending_ = false;
    for (QTimer *t : std::as_const(timers_))
        t->stop();
}

void Tavola::endProgram(int status)
{
    if (!ended_) {
        halt();
        hide();
        platform_.quit(status);
    }
    throw ProgramEnded{};
}

void Tavola::checkAlive() const
{
    if (ended_)
        throw ProgramEnded{};
}

int Tavola::msgBox(const QString &text, int style, const QString &title)
{
    const int answer = platform_.msgBox(this, text, style, title.isEmpty() ? QString::fromLatin1(kTitle) : title);
    checkAlive();
    return answer;
}

QString Tavola::programDir() const { return platform_.programDir(); }

}  // namespace vortana
