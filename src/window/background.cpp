// The background gradient and the start of play.
#include "play/random.h"
#include "window/platform.h"
#include "window/tavola.h"

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
    // The gradient persists: the surface repaints it whenever uncovered.
    const int height = surface_->height();
    if (scaleHeight_ != kScaleHeight) {
        // y now runs 0..512 over the client height; the targets' tops so
        // far were pixels.
        for (QPoint &at : logicalPos_)
            at.setY(int(qint64(at.y()) * kScaleHeight / height));
        scaleHeight_ = kScaleHeight;
    }
    surface_->setGradient(red, green);
    ++gradientsPainted_;
}

void Tavola::Form_Click()
{
    rng_.reseedFromClock();
    const Digits d = drawDigits(rng_);
    QString path = programDir() + QLatin1String(kLaser.data(), qsizetype(kLaser.size()));
    PlayWave(path);
    PaintGradient(std::int16_t(d.first * 20), std::int16_t(d.second * 20));
    // Switched on, not restarted: a click adds a step, the beat goes on.
    if (!timer("Timer2")->isActive())
        timer("Timer2")->start();
    Timer2_Timer();
}

}  // namespace vortana
