#include "play/rules.h"

#include <algorithm>
#include <limits>

namespace vortana {

std::int16_t drawNumber(NumberRule rule, int n, int add, Rng &rng)
{
    switch (rule) {
    case NumberRule::Multiple:
        return std::int16_t(11 * (rng.R(n) + add));
    case NumberRule::NonMultiple: {
        int v;
        do
            v = rng.R(n) + add;
        while (v % 11 == 0);
        return std::int16_t(v);
    }
    case NumberRule::Fixed:
        break;
    }
    return std::int16_t(add);
}

std::int16_t addScore(std::int16_t score, int delta)
{
    constexpr int lo = std::numeric_limits<std::int16_t>::min();
    constexpr int hi = std::numeric_limits<std::int16_t>::max();
    return std::int16_t(std::clamp(int(score) + delta, lo, hi));
}

QString scoreText(std::int16_t score, bool hit)
{
    return hit ? QLatin1Char(' ') + QString::number(score) : QString::number(score);
}

QString warningText(const ClickRule &rule, const QString &caption)
{
    return QString::fromUtf8(rule.warnBefore.data(), qsizetype(rule.warnBefore.size())) + caption
        + QString::fromUtf8(rule.warnAfter.data(), qsizetype(rule.warnAfter.size()));
}

std::array<std::int16_t, kTargets> startNumbers(Rng &rng)
{
    // Each draw re-seeds with a local that is still 0, except the last,
    // which re-seeds with the number just given to paricmd1.
    auto offThree = [&rng](int c) {
        int v;
        do
            v = 3 * (rng.R(100) + 1) + c;
        while (v % 11 == 0);
        return std::int16_t(v);
    };
    std::array<std::int16_t, kTargets> out{};
    rng.reseed(0);
    out[std::size_t(Target::disparicmd)] = offThree(1);
    rng.reseed(0);
    out[std::size_t(Target::disparicmd1)] = offThree(2);
    rng.reseed(0);
    out[std::size_t(Target::disparicmd2)] = offThree(1);
    rng.reseed(0);
    out[std::size_t(Target::paricmd)] = std::int16_t(11 * (rng.R(150) + 1));
    rng.reseed(0);
    const auto p1 = std::int16_t(11 * (rng.R(30) + 1));
    out[std::size_t(Target::paricmd1)] = p1;
    rng.reseed(p1);
    out[std::size_t(Target::paricmd2)] = std::int16_t(11 * (rng.R(20) + 1));
    return out;
}

Digits drawDigits(Rng &rng)
{
    Digits d{};
    do
        d.first = std::int16_t(rng.R(10));
    while (d.first == 0);
    d.second = std::int16_t(rng.R(10));
    return d;
}

QRect bandRect(int band, int width, int height)
{
    // Band i covers y units 2i .. 2i+2 of 512; rounding both edges the same
    // way leaves neither gaps nor overlaps between neighbours.
    const int top = (2 * band * height + kScaleHeight / 2) / kScaleHeight;
    const int bottom = (2 * (band + 1) * height + kScaleHeight / 2) / kScaleHeight;
    return QRect(0, top, width, bottom - top);
}

QString clockText(std::int16_t hours, std::int16_t minutes, float seconds)
{
    auto two = [](int v) { return QString::number(v).rightJustified(2, QLatin1Char('0')); };
    return two(hours) + QLatin1Char(':') + two(minutes) + QLatin1Char(':') + two(int(seconds));
}

void countDown(std::int16_t &hours, std::int16_t &minutes, float &seconds)
{
    if (seconds == 0) {
        if (minutes > 0) {
            --minutes;
            seconds = 60;
        } else if (hours > 0) {
            --hours;
            minutes = 59;
            seconds = 60;
        }
    }
    seconds -= 1;
}

}  // namespace vortana
