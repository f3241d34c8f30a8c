#include "play/random.h"

#include <chrono>
#include <cmath>
#include <random>

namespace vortana {

Rng::Rng() : gen_(QRandomGenerator::system()->generate()) {}

Rng::Rng(quint32 seed) : gen_(seed) {}

Rng &Rng::shared()
{
    static Rng rng;
    return rng;
}

void Rng::reseed(std::int32_t value)
{
    std::seed_seq mix{gen_.generate(), quint32(value)};
    gen_.seed(mix);
}

void Rng::reseedFromClock()
{
    const auto ns = std::chrono::system_clock::now().time_since_epoch().count();
    std::seed_seq mix{gen_.generate(), quint32(ns), quint32(quint64(ns) >> 32)};
    gen_.seed(mix);
}

float Rng::r()
{
    return float(gen_.generate() >> 8) * 0x1p-24f;
}

int Rng::R(int n)
{
    return int(std::floor(double(r()) * n));
}

}  // namespace vortana
