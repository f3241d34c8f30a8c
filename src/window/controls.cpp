#include "window/controls.h"

#include "play/rules.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <cmath>

namespace vortana {

namespace {

double luminance(const QColor &c)
{
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

constexpr double kReads = 4.5, kReadsDisabled = 3.0;

}  // namespace

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor textOn(const QColor &back, const QColor &palette)
{
    if (contrast(back, palette) >= kReads)
        return palette;
    return contrast(back, Qt::black) >= contrast(back, Qt::white) ? QColor(Qt::black) : QColor(Qt::white);
}

QColor disabledTextOn(const QColor &back, const QColor &palette, const QColor &enabled)
{
    if (contrast(back, palette) >= kReadsDisabled)
        return palette;
    // Halfway to the back looks disabled; nearer the text where that
    // would not read.
    // The sum's rounding adds an 11th step at t near 0: the enabled colour,
    // which is what the loop's end gives too.
    for (double t = 0.5; t > 0; t -= 0.05) {  // NOLINT(cert-flp30-c)
        const QColor c = QColor::fromRgbF(float(enabled.redF() + (back.redF() - enabled.redF()) * t),
                                          float(enabled.greenF() + (back.greenF() - enabled.greenF()) * t),
                                          float(enabled.blueF() + (back.blueF() - enabled.blueF()) * t));
        if (contrast(back, c) >= kReadsDisabled)
            return c;
    }
    return enabled;
}

FlatButton::FlatButton(QWidget *parent) : QAbstractButton(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A click gives no focus: a target hidden under the mouse would hand
    // it on to the next one, which a Space would then press unseen.
    setFocusPolicy(Qt::TabFocus);
}

void FlatButton::setPictures(const QPixmap &normal, const QPixmap &disabled, const QPixmap &pressed)
{
    normal_ = normal;
    disabled_ = disabled.isNull() ? normal : disabled;
    pressed_ = pressed.isNull() ? normal : pressed;
    update();
}

QSize FlatButton::sizeHint() const { return size(); }

bool FlatButton::event(QEvent *e)
{
    // Qt's buttons swallow clicks while disabled; ours let them through
    // to the window, whose click it then is.
    if (!isEnabled()) {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            e->ignore();
            return false;
        default:
            break;
        }
    }
    return QAbstractButton::event(e);
}

void FlatButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, back_);

    // A thin raised bevel, sunken while held down.
    const bool down = isDown();
    p.setPen(down ? back_.darker(160) : back_.lighter(140));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(down ? back_.lighter(140) : back_.darker(160));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());

    QRect textArea = r.adjusted(2, 2, -2, -2);
    const QPixmap &pic = !isEnabled() ? disabled_ : (down ? pressed_ : normal_);
    if (!pic.isNull()) {
        const QSize s = pic.deviceIndependentSize().toSize();
        const int h = text().isEmpty() ? 0 : fontMetrics().height();
        const int top = qMax(2, (r.height() - s.height() - h) / 2);
        p.drawPixmap(QPoint((r.width() - s.width()) / 2, top), pic);
        textArea.setTop(top + s.height());
    }
    const QColor ink = textOn(back_, palette().color(QPalette::Active, QPalette::ButtonText));
    if (hasFocus()) {
        // The style's own focus mark, in the caption's colour so that it
        // shows on the back colour whatever the palette.
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(3, 3, -3, -3);
        focus.backgroundColor = back_;
        for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            focus.palette.setColor(role, ink);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
        // Fusion's own mark is a faint glow that a saturated back swallows:
        // when the style shows focus, the classic dotted frame shows it too.
        if (focus.state & QStyle::State_KeyboardFocusChange) {
            p.setPen(QPen(ink, 1, Qt::DotLine));
            p.setBrush(Qt::NoBrush);
            p.drawRect(focus.rect.adjusted(0, 0, -1, -1));
        }
    }
    if (text().isEmpty())
        return;
    p.setFont(font());
    p.setPen(isEnabled() ? ink : disabledTextOn(back_, palette().color(QPalette::Disabled, QPalette::ButtonText), ink));
    const int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    if (down)
        textArea.translate(1, 1);
    p.drawText(textArea, flags, text());
}

Label::Label(const QString &caption, bool autoSize, bool opaque, QWidget *parent)
    : QLabel(parent), autoSize_(autoSize)
{
    setTextFormat(Qt::PlainText);  // a typed name must never become markup
    setAutoFillBackground(opaque);
    setWordWrap(!autoSize);
    showCaption(caption);
}

void Label::setCaption(const QString &caption)
{
    // The same caption again is no change: the box stays as it is.
    if (caption == caption_)
        return;
    showCaption(caption);
    if (autoSize_)
        fit();
}

void Label::showCaption(const QString &caption)
{
    caption_ = caption;
    QString shown = caption;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    setText(shown);
}

void Label::fit()
{
    // Measuring loads the font; before the window is first shown that
    // would only hold up the name prompt.
    fitPending_ = !isVisible();
    if (!fitPending_)
        resize(sizeHint());  // grows right and down from the top-left corner
}

bool Label::event(QEvent *e)
{
    if (e->type() == QEvent::Show && fitPending_)
        fit();
    return QLabel::event(e);
}

void Label::mousePressEvent(QMouseEvent *e)
{
    // A label has no click of its own and keeps it from the window.
    e->accept();
}

Surface::Surface(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Surface::setGradient(int red, int green)
{
    red_ = red;
    green_ = green;
    height_ = height();
    update();
}

void Surface::paintEvent(QPaintEvent *e)
{
    QPainter p(this);
    p.fillRect(e->rect(), palette().window());
    if (red_ < 0)
        return;
    for (int i = 0; i < kBands; ++i) {
        const QRect band = bandRect(i, width(), height_) & e->rect();
        if (!band.isEmpty())
            p.fillRect(band, QColor(red_, green_, i));
    }
}

void Surface::mousePressEvent(QMouseEvent *e)
{
    pressed_ = e->button() == Qt::LeftButton;
    e->accept();
}

void Surface::mouseReleaseEvent(QMouseEvent *e)
{
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    e->accept();
    if (click)
        emit clicked();
}

}  // namespace vortana
