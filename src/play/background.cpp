// The background gradient and the start of play.
#include "play/random.h"
#include "window/platform.h"
#include "window/tavola.h"

#include <QPainter>

namespace vortana {

void Tavola::cmdNext_Click()
{
    ensureLoaded();
    rng_.reseedFromClock();
    const Digits d = drawDigits(rng_);
    vars_.num1 = d.first;
    vars_.num2 = d.second;
    PaintGradient(std::int16_t(vars_.num1 * 20), std::int16_t(vars_.num2 * 20));
}

void Tavola::PaintGradient(std::int16_t red, std::int16_t green)
{
    // The image persists: the surface repaints from it whenever uncovered.
    const int width = surface_->width();
    const int height = surface_->height();
    if (scaleHeight_ != kScaleHeight) {
        // y now runs 0..512 over the client height; the targets' tops so
        // far were pixels.
        for (QPoint &at : logicalPos_)
            at.setY(int(qint64(at.y()) * kScaleHeight / height));
        scaleHeight_ = kScaleHeight;
    }
    QImage &img = surface_->background();
    if (img.size() != surface_->size())
        img = QImage(surface_->size(), QImage::Format_RGB32);
    QPainter p(&img);
    for (int i = 0; i < kBands; ++i)
        p.fillRect(bandRect(i, width, height), QColor(red, green, i));
    p.end();
    ++gradientsPainted_;
    surface_->update();
}

void Tavola::Form_Click()
{
    rng_.reseedFromClock();
    const Digits d = drawDigits(rng_);
    QString path = programDir() + QLatin1String(kLaser.data(), qsizetype(kLaser.size()));
    PlayWave(path);
    PaintGradient(std::int16_t(d.first * 20), std::int16_t(d.second * 20));
    timer("Timer2")->start();
    Timer2_Timer();
}

}  // namespace vortana
