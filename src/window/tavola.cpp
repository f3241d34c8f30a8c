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

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

QColor color(const Rgb &c) { return QColor(c.r, c.g, c.b); }

QFont fontOf(const ControlSpec &spec)
{
    QFont f;
    if (!spec.font.family.empty()) {
        f.setFamily(qs(spec.font.family));
        f.setPointSizeF(spec.font.points);
    }
    f.setBold(spec.flags & Bold);
    f.setItalic(spec.flags & Italic);
    return f;
}

QCursor pointerOf(Pointer p, qreal dpr)
{
    switch (p) {
    case Pointer::Icon: return assets::iconPointer(dpr);
    case Pointer::Paricmd: return assets::paricmdPointer(dpr);
    case Pointer::Default: break;
    }
    return QCursor(Qt::ArrowCursor);
}

// Marks the caption's first letter that no other entry uses as its access
// key: it is only underlined, the text stays as it is.
QString withAccessKey(QString caption, QString &taken)
{
    caption.replace(QLatin1Char('&'), QLatin1String("&&"));
    for (qsizetype i = 0; i < caption.size(); ++i) {
        const QChar c = caption[i].toLower();
        if (c.isLetter() && c.unicode() < 128 && !taken.contains(c)) {
            taken += c;
            return caption.insert(i, QLatin1Char('&'));
        }
    }
    return caption;
}

QRect geometryOf(const ControlSpec &s)
{
    return QRect(twipsToPixels(s.left), twipsToPixels(s.top), twipsToPixels(s.width), twipsToPixels(s.height));
}

}  // namespace

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

void Tavola::buildControls()
{
    auto *surface = new Surface;
    surface->setObjectName(QStringLiteral("surface"));
    surface->setFixedSize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
    const qreal dpr = devicePixelRatioF();  // the pictures are drawn for the screen
    surface->setCursor(assets::gunSight(dpr));
    setCentralWidget(surface);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    surface_ = surface;
    connect(surface, &Surface::clicked, this, [this] { run(&Tavola::Form_Click); });
    // The window starts with the focus on itself, where a key presses
    // nothing: a Space after the greeting must not hit Exit unseen.
    surface->setFocusPolicy(Qt::ClickFocus);
    surface->setFocus();

    QList<QWidget *> focusOrder;
    for (const ControlSpec &spec : kControls) {
        QWidget *w = nullptr;
        const QColor back = spec.back ? color(*spec.back) : QColor();
        switch (spec.kind) {
        case Kind::Button:
            if (spec.flags & StandardLook) {
                w = new QPushButton(qs(spec.caption), surface);
            } else {
                auto *b = new FlatButton(surface);
                b->setText(qs(spec.caption));
                b->setBackColor(back);
                if (spec.flags & Picture)
                    b->setPictures(assets::exitPicture().pixmap(QSize(32, 32), dpr));
                if (spec.flags & Pictures)
                    b->setPictures(assets::nextPicture(dpr), assets::nextDisabledPicture(dpr), assets::nextPressedPicture(dpr));
                w = b;
            }
            break;
        case Kind::TextBox: {
            auto *e = new QLineEdit(qs(spec.caption), surface);
            QPalette pal = e->palette();
            pal.setColor(QPalette::Base, back);
            pal.setColor(QPalette::Text, textOn(back, pal.color(QPalette::Text)));
            e->setPalette(pal);
            w = e;
            break;
        }
        case Kind::Label: {
            auto *l = new Label(qs(spec.caption), spec.flags & AutoSize, spec.flags & Opaque, surface);
            QPalette pal = l->palette();
            if (spec.back)
                pal.setColor(QPalette::Window, back);
            if (spec.text)
                pal.setColor(QPalette::WindowText, color(*spec.text));
            else if (spec.back && (spec.flags & Opaque))
                pal.setColor(QPalette::WindowText, textOn(back, pal.color(QPalette::WindowText)));
            l->setPalette(pal);
            l->setAlignment((spec.flags & Centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
            if (spec.border == Border::Flat)
                l->setFrameStyle(QFrame::Box | QFrame::Plain);
            else if (spec.border == Border::Sunken)
                l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            l->setLineWidth(1);
            w = l;
            break;
        }
        }
        w->setObjectName(qs(spec.name));
        w->setProperty("tabIndex", spec.tab);
        if (spec.kind != Kind::Label || !spec.font.family.empty())
            w->setFont(fontOf(spec));
        w->setGeometry(geometryOf(spec));
        if (!spec.tooltip.empty())
            w->setToolTip(qs(spec.tooltip));
        w->setCursor(pointerOf(spec.pointer, dpr));
        w->setEnabled(!(spec.flags & Disabled));
        w->setVisible(!(spec.flags & Hidden));
        if (w->focusPolicy() != Qt::NoFocus)
            focusOrder.append(w);
        controls_.insert(w->objectName(), w);
    }

    // Labels are drawn on the window itself, under every button, whatever
    // their creation order: a target that jumps onto a label stays clickable.
    for (auto it = kControls.rbegin(); it != kControls.rend(); ++it)
        if (it->kind == Kind::Label)
            control(it->name)->lower();

    std::sort(focusOrder.begin(), focusOrder.end(),
              [](QWidget *a, QWidget *b) { return a->property("tabIndex").toInt() < b->property("tabIndex").toInt(); });
    for (qsizetype i = 1; i < focusOrder.size(); ++i)
        setTabOrder(focusOrder[i - 1], focusOrder[i]);

    for (int i = 0; i < kTargets; ++i) {
        const auto t = Target(i);
        connect(target(t), &QAbstractButton::clicked, this, [this, t] {
            // A hidden target takes no click: the mouse can't reach it, and a
            // screen reader's press, which lands 100 ms later, must not either.
            if (target(t)->isHidden())
                return;
            static constexpr void (Tavola::*handlers[kTargets])() = {
                &Tavola::paricmd_Click, &Tavola::paricmd1_Click, &Tavola::paricmd2_Click,
                &Tavola::disparicmd_Click, &Tavola::disparicmd1_Click, &Tavola::disparicmd2_Click};
            run(handlers[int(t)]);
        });
        const QRect g = target(t)->geometry();
        logicalPos_[std::size_t(i)] = QPoint(g.x(), scaleHeight_ ? g.y() * kScaleHeight / surface->height() : g.y());
    }
    connect(button("cmdExit"), &QAbstractButton::clicked, this, [this] { run(&Tavola::cmdExit_Click); });
    connect(button("cmdNext"), &QAbstractButton::clicked, this, [this] { run(&Tavola::cmdNext_Click); });
}

void Tavola::buildMenu()
{
    auto *bar = new QMenuBar;
    bar->setObjectName(QStringLiteral("menuBar"));
    QMenu *open = nullptr;
    QString taken = QStringLiteral("cx");  // the buttons' Alt+C and Alt+X
    for (std::size_t i = 0; i < kMenu.size(); ++i) {
        const MenuSpec &m = kMenu[i];
        const bool hasItems = i + 1 < kMenu.size() && kMenu[i + 1].level == 2;
        QAction *a = nullptr;
        const QString caption = m.level == 1 ? withAccessKey(qs(m.caption), taken) : qs(m.caption);
        if (m.level == 1 && hasItems) {
            open = bar->addMenu(caption);
            open->setObjectName(qs(m.name));
            a = open->menuAction();
        } else if (m.level == 1) {
            open = nullptr;
            a = bar->addAction(caption);
        } else {
            a = open->addAction(qs(m.caption));
        }
        a->setObjectName(qs(m.name));
        menuItems_.insert(a->objectName(), a);
    }
    connect(menuItem("Next"), &QAction::triggered, this, [this] { run(&Tavola::Next_Click); });
    setMenuBar(bar);
}

void Tavola::buildTimers()
{
    for (const TimerSpec &spec : kTimers) {
        auto *t = new QTimer(this);
        t->setObjectName(qs(spec.name));
        t->setInterval(spec.periodMs);
        // The clock counts ticks: a coarse timer would stretch the game.
        t->setTimerType(Qt::PreciseTimer);
        if (spec.on)
            t->start();
        timers_.insert(t->objectName(), t);
    }
    connect(timer("Timer1"), &QTimer::timeout, this, [this] { run(&Tavola::Timer1_Timer); });
    connect(timer("Timer2"), &QTimer::timeout, this, [this] { run(&Tavola::Timer2_Timer); });
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

void Tavola::moveTarget(Target t, int left, int top)
{
    QPoint &at = logicalPos_[std::size_t(t)];
    FlatButton *b = target(t);
    // A top that stays as it was keeps its pixel row: one taken over from
    // the layout's twips need not fall on a whole unit.
    const int h = surface_->height();
    const int py = top == at.y() ? b->y() : (scaleHeight_ ? int((qint64(top) * h) / scaleHeight_) : top);
    at = QPoint(left, top);
    b->move(left, py);
}

QPoint Tavola::targetPosition(Target t) const { return logicalPos_[std::size_t(t)]; }

}  // namespace vortana
