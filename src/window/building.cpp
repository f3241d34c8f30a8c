// The window built from its tables at every load: the controls, the menu
// and the timers, each wired to its handler.
#include "window/assets.h"
#include "window/layout.h"
#include "window/tavola.h"

#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

#include <algorithm>

namespace vortana {

namespace {

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

QWidget *makeButton(const ControlSpec &spec, QWidget *surface, qreal dpr)
{
    if (spec.flags & StandardLook)
        return new QPushButton(qs(spec.caption), surface);
    auto *b = new FlatButton(surface);
    b->setText(qs(spec.caption));
    b->setBackColor(spec.back ? color(*spec.back) : QColor());
    if (spec.flags & Picture)
        b->setPictures(assets::exitPicture().pixmap(QSize(32, 32), dpr));
    if (spec.flags & Pictures)
        b->setPictures(assets::nextPicture(dpr), assets::nextDisabledPicture(dpr), assets::nextPressedPicture(dpr));
    return b;
}

QWidget *makeTextBox(const ControlSpec &spec, QWidget *surface)
{
    auto *e = new QLineEdit(qs(spec.caption), surface);
    const QColor back = spec.back ? color(*spec.back) : QColor();
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, back);
    pal.setColor(QPalette::Text, textOn(back, pal.color(QPalette::Text)));
    e->setPalette(pal);
    return e;
}

QWidget *makeLabel(const ControlSpec &spec, QWidget *surface)
{
    auto *l = new Label(qs(spec.caption), spec.flags & AutoSize, spec.flags & Opaque, surface);
    QPalette pal = l->palette();
    if (spec.back)
        pal.setColor(QPalette::Window, color(*spec.back));
    if (spec.text)
        pal.setColor(QPalette::WindowText, color(*spec.text));
    else if (spec.back && (spec.flags & Opaque))
        pal.setColor(QPalette::WindowText, textOn(color(*spec.back), pal.color(QPalette::WindowText)));
    l->setPalette(pal);
    l->setAlignment((spec.flags & Centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    if (spec.border == Border::Flat)
        l->setFrameStyle(QFrame::Box | QFrame::Plain);
    else if (spec.border == Border::Sunken)
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setLineWidth(1);
    return l;
}

QWidget *makeControl(const ControlSpec &spec, QWidget *surface, qreal dpr)
{
    QWidget *w = spec.kind == Kind::Label ? makeLabel(spec, surface)
                                          : (spec.kind == Kind::Button ? makeButton(spec, surface, dpr) : makeTextBox(spec, surface));
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
    return w;
}

}  // namespace

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
    // The window starts with the focus on itself, where a key presses
    // nothing: a Space after the greeting must not hit Exit unseen.
    surface->setFocusPolicy(Qt::ClickFocus);
    surface->setFocus();

    QList<QWidget *> focusOrder;
    for (const ControlSpec &spec : kControls) {
        QWidget *w = makeControl(spec, surface, dpr);
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
        const QRect g = target(Target(i))->geometry();
        logicalPos_[std::size_t(i)] = QPoint(g.x(), scaleHeight_ ? g.y() * kScaleHeight / surface->height() : g.y());
    }
    connectControls();
}

void Tavola::connectControls()
{
    connect(surface_, &Surface::clicked, this, [this] { run(&Tavola::Form_Click); });
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
            a = bar->addAction(caption);
        } else {
            // An item follows its menu, or another item of it.
            a = open->addAction(qs(m.caption));  // NOLINT(clang-analyzer-core.CallAndMessage): the table opens with a menu
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

}  // namespace vortana
