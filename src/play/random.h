// The game's one random generator. A re-seed mixes a value into the state
// instead of restarting the sequence, so re-seeding with the same number
// over and over still gives fresh draws.
#pragma once

#include <QRandomGenerator>
#include <cstdint>

namespace vortana {

class Rng {
public:
    Rng();  // seeded from the system's entropy
    explicit Rng(quint32 seed);
    virtual ~Rng() = default;

    static Rng &shared();

    // Virtual so that the tests can choose the draws.
    virtual void reseed(std::int32_t value);
    virtual void reseedFromClock();

    // Uniform in [0, 1), single precision: 24 random bits, so every value
    // is exact and 1.0f can never come out.
    virtual float r();

    // Integer part of r * n: 0 .. n-1. The product is taken in double,
    // where r * n stays below n; in float it can round up to n.
    int R(int n);

private:
    QRandomGenerator gen_;
};

}  // namespace vortana
