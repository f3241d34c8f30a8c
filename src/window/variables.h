// The window's variables: they live as long as the Tavola object and
// survive a new game, which rebuilds only the controls.
#pragma once

#include <QString>
#include <cstdint>

namespace vortana {

struct Variables {
    std::int16_t num1 = 0;
    std::int16_t num2 = 0;
    std::int16_t fileNum = 0;
    QString recordText;
    std::int16_t exitDelayCounter = 0;
    std::int16_t clockHours = 0;
    std::int16_t clockMinutes = 0;
    float clockSeconds = 0;
    QString windowsDir;
    std::int16_t paricmd2Number = 0;
    std::int16_t disparicmdNumber = 0;
    std::int16_t disparicmd1Number = 0;
    std::int16_t disparicmd2Number = 0;
    std::int16_t score = 0;
    std::int16_t flashCounter = 0;
};

}  // namespace vortana
