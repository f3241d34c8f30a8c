// The rules of play as data and small functions over it. Nothing here
// touches a widget, so the tests can reach every rule without a screen.
#pragma once

#include "play/random.h"
#include "play/rgb.h"

#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <string_view>

namespace vortana {

// The six targets, in the column order of the movement table.
enum class Target : std::uint8_t {
    paricmd,
    paricmd1,
    paricmd2,
    disparicmd,
    disparicmd1,
    disparicmd2
};
inline constexpr int kTargets = 6;
inline constexpr std::array<std::string_view, kTargets> kTargetNames{
    "paricmd", "paricmd1", "paricmd2", "disparicmd", "disparicmd1", "disparicmd2"};

// ---- movement --------------------------------------------------------

enum class Vis : std::uint8_t {
    Kept,
    Shown,
    Hidden
};

// R(n) + add; n == 0 means "not moved".
struct Draw {
    std::int16_t n = 0;
    std::int16_t add = 0;
    constexpr bool used() const { return n != 0; }
};

struct MoveCell {
    Vis vis = Vis::Kept;
    Draw left;
    Draw top;
    bool renumber = false;
};

using MoveCase = std::array<MoveCell, kTargets>;

constexpr MoveCell shown(Draw l = {}, Draw t = {}, bool renumber = false) { return {Vis::Shown, l, t, renumber}; }
constexpr MoveCell hidden(Draw l = {}, Draw t = {}, bool renumber = false) { return {Vis::Hidden, l, t, renumber}; }
constexpr MoveCell kept(Draw l = {}, Draw t = {}) { return {Vis::Kept, l, t, false}; }
constexpr Draw R(std::int16_t n, std::int16_t add = 0) { return {n, add}; }
constexpr Draw none() { return {}; }

//                           paricmd                 paricmd1                 paricmd2            disparicmd                         disparicmd1                   disparicmd2
inline constexpr std::array<MoveCase, 6> kMoveCases{{
    /* 1 */ {shown(none(), R(600)), hidden(R(300)), shown(), kept(R(450), R(1100)), hidden(), hidden()},
    /* 2 */ {shown(R(800), R(800)), shown(R(300), R(300)), kept(), kept(), shown({}, {}, true), shown()},
    /* 3 */ {hidden(), hidden(none(), R(300)), kept(none(), R(150)), hidden({}, {}, true), shown(none(), R(300)), shown(R(50), R(150))},
    /* 4 */ {kept(), shown(R(300), R(500)), shown(), shown(R(300, 1), R(1000, 1)), shown(), hidden()},
    /* 5 */ {hidden(), hidden(none(), R(300)), kept(none(), R(200)), hidden(none(), R(300)), shown(none(), R(900)), hidden(none(), R(500))},
    /* 6 */ {kept(none(), R(200)), hidden(), kept(none(), R(30)), kept(none(), R(900)), hidden(R(300), R(70)), shown(none(), R(250), true)},
}};

// Shown at the start of every step, before the case applies.
inline constexpr std::array<Target, 3> kShownFirst{Target::paricmd1, Target::disparicmd1, Target::disparicmd2};

// New number of a renumbered non-multiple: 11 * (R(m) + 1) + c.
struct Renumber {
    std::int16_t m, c;
};
constexpr Renumber renumberOf(Target t)
{
    switch (t) {
    case Target::disparicmd: return {150, 4};
    case Target::disparicmd1: return {20, 1};
    case Target::disparicmd2: return {20, 5};
    default: return {0, 0};
    }
}

// ---- hits and misses -------------------------------------------------

enum class NumberRule : std::uint8_t {
    Multiple,     // 11 * (R(n) + add)
    NonMultiple,  // R(n) + add, drawn again while a multiple of 11
    Fixed,        // always add; re-seeds but draws nothing
};

enum class SeedFrom : std::uint8_t {
    Zero,
    Disparicmd2Number
};

struct ClickRule {
    Target target;
    bool hit;
    Rgb flash;
    std::int16_t flashTimes;
    std::string_view sound;  // relative to the program's folder
    std::string_view warnBefore;
    std::string_view warnAfter;
    std::int16_t delta;
    SeedFrom seed;
    NumberRule rule;
    std::int16_t n, add;
};

inline constexpr Rgb kHitGreen{0, 255, 0};
inline constexpr Rgb kMissRed{255, 0, 0};
inline constexpr std::string_view kShot = "/suoni/sparo.wav";
inline constexpr std::string_view kExplosion = "/suoni/esplosi.wav";
inline constexpr std::string_view kLaser = "/suoni/laser.wav";
inline constexpr std::string_view kNotDivisible = " non è  un numero divisibile per 11";

inline constexpr std::array<ClickRule, kTargets> kClickRules{{
    {Target::paricmd, true, kHitGreen, 20000, kShot, "", "", +1, SeedFrom::Zero, NumberRule::Multiple, 100, 1},
    {Target::paricmd1, true, kHitGreen, 20000, kShot, "", "", +1, SeedFrom::Zero, NumberRule::Multiple, 50, 2},
    {Target::paricmd2, true, kHitGreen, 20000, kShot, "", "", +1, SeedFrom::Zero, NumberRule::Multiple, 20, 1},
    {Target::disparicmd, false, kMissRed, 10000, kExplosion, "Attenzione!  ", kNotDivisible, -4, SeedFrom::Zero, NumberRule::NonMultiple, 110, 2},
    {Target::disparicmd1, false, kMissRed, 10000, kExplosion, "Attenzione! Hai sbagliato:  ", kNotDivisible, -4, SeedFrom::Zero, NumberRule::Fixed, 0, 1652},
    {Target::disparicmd2, false, kMissRed, 10000, kExplosion, "Attenzione!  ", kNotDivisible, -4, SeedFrom::Disparicmd2Number, NumberRule::NonMultiple, 990, 1},
}};

constexpr const ClickRule &clickRule(Target t) { return kClickRules[std::size_t(t)]; }

std::int16_t drawNumber(NumberRule rule, int n, int add, Rng &rng);

// The score is 16 bits wide and stays at the end of its range.
std::int16_t addScore(std::int16_t score, int delta);

// A hit writes a blank before the score, a miss does not.
QString scoreText(std::int16_t score, bool hit);

QString warningText(const ClickRule &rule, const QString &caption);

// ---- start numbers ---------------------------------------------------

// First numbers of the six targets, in Target order.
std::array<std::int16_t, kTargets> startNumbers(Rng &rng);

// ---- background ------------------------------------------------------

struct Digits {
    std::int16_t first, second;  // 1..9 and 0..9
};
Digits drawDigits(Rng &rng);

inline constexpr int kBands = 256;
inline constexpr int kScaleHeight = 512;  // y units of the client height

// Pixel rows of band i for a client area `height` pixels high.
QRect bandRect(int band, int width, int height);

// ---- clock -----------------------------------------------------------

inline constexpr std::string_view kTimeUp = "00:00:00";
QString clockText(std::int16_t hours, std::int16_t minutes, float seconds);
// One second less, borrowing from minutes and hours as needed.
void countDown(std::int16_t &hours, std::int16_t &minutes, float &seconds);

}  // namespace vortana
