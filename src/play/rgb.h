// A colour as the game's tables give it: red, green and blue, 0 to 255.
#pragma once

#include <cstdint>

namespace vortana {

struct Rgb {
    std::uint8_t r, g, b;
    constexpr bool operator==(const Rgb &) const = default;
};

}  // namespace vortana
