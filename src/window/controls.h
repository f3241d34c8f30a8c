// The kinds of control the window is built from.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QWidget>

namespace vortana {

// WCAG contrast of two colours, from 1 to 21.
double contrast(const QColor &a, const QColor &b);
// The text colour for a back colour the layout fixes: the palette's own
// where it reads (4.5:1), else black or white, whichever reads better.
// A dark theme's near-white would vanish on the cyan of the numbers.
QColor textOn(const QColor &back, const QColor &palette);
// A disabled caption on such a back: dimmed toward it, yet at 3:1.
QColor disabledTextOn(const QColor &back, const QColor &palette, const QColor &enabled);

// A "graphical" button: flat in its own back colour, picture above the
// caption. The colour is a plain member so that setting it costs next
// to nothing; only a change schedules a repaint.
class FlatButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FlatButton(QWidget *parent = nullptr);

    void setBackColor(const QColor &c)
    {
        if (c != back_) {
            back_ = c;
            update();
        }
    }
    QColor backColor() const { return back_; }

    void setPictures(const QPixmap &normal, const QPixmap &disabled = {}, const QPixmap &pressed = {});
    QPixmap picture() const { return normal_; }

    QSize sizeHint() const override;

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *) override;

private:
    QColor back_;
    QPixmap normal_, disabled_, pressed_;
};

// A label whose caption is kept exactly as set (a record file's CR LF
// included), while the screen shows its lines. An auto-size label keeps
// the size it is given until its caption changes, then fits the caption.
class Label : public QLabel {
    Q_OBJECT
public:
    Label(const QString &caption, bool autoSize, bool opaque, QWidget *parent = nullptr);

    void setCaption(const QString &caption);
    const QString &caption() const { return caption_; }
    bool autoSize() const { return autoSize_; }

protected:
    bool event(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;

private:
    void showCaption(const QString &caption);
    void fit();

    QString caption_;
    bool autoSize_;
    bool fitPending_ = false;
};

// The client area: keeps the background gradient under all controls and
// turns a click on itself or on a disabled button into the window's click.
class Surface : public QWidget {
    Q_OBJECT
public:
    explicit Surface(QWidget *parent = nullptr);

    // 256 bands over the present height, blue rising 0..255. Kept as its
    // two colour parts rather than as an image: repainting 256 bands costs
    // no more than copying a picture of them, and holds no 1.6 MB copy.
    void setGradient(int red, int green);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    int red_ = -1, green_ = 0, height_ = 0;  // red -1: nothing painted yet
    bool pressed_ = false;
};

}  // namespace vortana
