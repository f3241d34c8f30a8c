#include "window/assets.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <functional>

namespace vortana::assets {

namespace {

// A square of `size` device-independent pixels, drawn at the screen's
// device pixel ratio: sharp, not a small picture stretched.
QPixmap canvas(int size, const std::function<void(QPainter &)> &draw, qreal dpr = 1,
               QImage::Format format = QImage::Format_ARGB32)
{
    const int pixels = qCeil(size * dpr);
    QImage img(pixels, pixels, format);
    img.setDevicePixelRatio(qreal(pixels) / size);
    img.fill(Qt::transparent);
    QPainter p(&img);
    draw(p);
    p.end();
    return QPixmap::fromImage(img);
}

// A "11" target: the emblem of the game, on the icon and on cmdExit.
void drawEmblem(QPainter &p, int s, QColor ring, QColor face)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ring, qMax(1, s / 16)));
    p.setBrush(face);
    p.drawEllipse(QRectF(1, 1, s - 2, s - 2));
    p.setBrush(ring);
    p.drawEllipse(QRectF(s * 0.3, s * 0.3, s * 0.4, s * 0.4));
    // The two ones are strokes, not text: drawing text would load a font
    // before the name prompt can appear.
    p.setPen(QPen(face, qMax(1.5, s / 14.0), Qt::SolidLine, Qt::SquareCap));
    for (const qreal x : {s * 0.42, s * 0.58}) {
        p.drawLine(QPointF(x, s * 0.36), QPointF(x, s * 0.64));
        p.drawLine(QPointF(x, s * 0.36), QPointF(x - s * 0.06, s * 0.42));
    }
}

QPixmap nextArrow(QColor fill, QColor edge, int shift, qreal dpr)
{
    return canvas(
        32, [&](QPainter &p) {
            p.setRenderHint(QPainter::Antialiasing);
            QPainterPath arrow;
            arrow.moveTo(6 + shift, 8 + shift);
            arrow.lineTo(20 + shift, 8 + shift);
            arrow.lineTo(20 + shift, 3 + shift);
            arrow.lineTo(30 + shift, 16 + shift);
            arrow.lineTo(20 + shift, 29 + shift);
            arrow.lineTo(20 + shift, 24 + shift);
            arrow.lineTo(6 + shift, 24 + shift);
            arrow.closeSubpath();
            p.setPen(QPen(edge, 2));
            p.setBrush(fill);
            p.drawPath(arrow);
        },
        dpr);
}

}  // namespace

QIcon windowIcon()
{
    // Every size the icon theme ships, each drawn for itself.
    static const QIcon icon = [] {
        QIcon icon;
        for (int s : {16, 32, 48, 64, 128, 256})
            icon.addPixmap(canvas(
                s, [s](QPainter &p) { drawEmblem(p, s, QColor(0xC0, 0x00, 0xC0), QColor(0x00, 0xFF, 0xFF)); },
                1, QImage::Format_RGB32));
        return icon;
    }();
    return icon;
}

QCursor gunSight(qreal dpr)
{
    const QPixmap pm = canvas(
        32, [](QPainter &p) {
            for (const QColor &c : {QColor(Qt::white), QColor(Qt::black)}) {
                const int w = c == Qt::white ? 3 : 1;
                p.setPen(QPen(c, w, Qt::SolidLine, Qt::FlatCap));
                p.drawLine(16, 2, 16, 30);
                p.drawLine(2, 16, 30, 16);
                for (int d : {6, 11}) {  // cross-ticks on both lines
                    p.drawLine(13, 16 - d, 19, 16 - d);
                    p.drawLine(13, 16 + d, 19, 16 + d);
                    p.drawLine(16 - d, 13, 16 - d, 19);
                    p.drawLine(16 + d, 13, 16 + d, 19);
                }
            }
        },
        dpr);
    return QCursor(pm, 16, 16);
}

QCursor paricmdPointer(qreal dpr)
{
    const QPixmap pm = canvas(
        32, [](QPainter &p) {
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(Qt::black, 2));
            p.setBrush(QColor(0, 255, 0, 90));
            p.drawEllipse(QPointF(kParicmdHotSpot), 8, 8);
            p.setPen(QPen(Qt::red, 2));
            p.drawLine(kParicmdHotSpot + QPoint(0, -9), kParicmdHotSpot + QPoint(0, 9));
            p.drawLine(kParicmdHotSpot + QPoint(-9, 0), kParicmdHotSpot + QPoint(9, 0));
            p.setPen(QPen(Qt::black, 3));
            p.drawLine(18, 18, 30, 30);
        },
        dpr);
    return QCursor(pm, kParicmdHotSpot.x(), kParicmdHotSpot.y());
}

QCursor iconPointer(qreal dpr)
{
    const QPixmap pm = canvas(
        32, [](QPainter &p) {
            for (const QColor &c : {QColor(Qt::white), QColor(Qt::black)}) {
                p.setPen(QPen(c, c == Qt::white ? 3 : 1));
                p.setBrush(Qt::NoBrush);
                p.drawRect(8, 8, 16, 16);
                p.drawRect(13, 13, 6, 6);
            }
        },
        dpr);
    return QCursor(pm, 16, 16);
}

QIcon exitPicture()
{
    // One icon for the whole run: every new QIcon would leave pixmaps of
    // its own in Qt's pixmap cache, one more set at every new game.
    static const QIcon icon = [] {
        QIcon icon;
        for (int s : {16, 32, 48, 64})  // 48 and 64 for 32 at 1.5 and 2
            icon.addPixmap(canvas(s, [s](QPainter &p) {
                p.setRenderHint(QPainter::Antialiasing);
                p.setPen(QPen(Qt::white, qMax(2, s / 8), Qt::SolidLine, Qt::RoundCap));
                p.setBrush(QColor(0x80, 0x00, 0x80));
                p.drawEllipse(QRectF(1.5, 1.5, s - 3, s - 3));
                // an open door with an arrow leaving through it
                p.drawLine(QPointF(s * 0.3, s * 0.5), QPointF(s * 0.75, s * 0.5));
                p.drawLine(QPointF(s * 0.6, s * 0.35), QPointF(s * 0.75, s * 0.5));
                p.drawLine(QPointF(s * 0.6, s * 0.65), QPointF(s * 0.75, s * 0.5));
            }));
        return icon;
    }();
    return icon;
}

QPixmap nextPicture(qreal dpr) { return nextArrow(QColor(0x00, 0xFF, 0x00), QColor(0x00, 0x60, 0x00), 0, dpr); }
QPixmap nextDisabledPicture(qreal dpr) { return nextArrow(QColor(0xFF, 0xFF, 0x80), QColor(0x60, 0x60, 0x00), 0, dpr); }
QPixmap nextPressedPicture(qreal dpr) { return nextArrow(QColor(0x00, 0xA0, 0x00), QColor(0x00, 0x30, 0x00), 1, dpr); }

}  // namespace vortana::assets
