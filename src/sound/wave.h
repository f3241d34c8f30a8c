// What the game asks of the sound module. Sound lives in a library of its
// own, loaded once play begins, so that Qt Multimedia and the audio stack
// behind it cost nothing before the name prompt.
#pragma once

#include <QString>

namespace vortana {

// All inline: the module needs nothing from the game, and the game exports
// nothing to the module.
class WaveBackend {
public:
    virtual ~WaveBackend() = default;
    // Decodes ahead so that the first play starts at once.
    virtual void preload(const QString &path) = 0;
    // Cuts off whatever is playing, then starts this file. A missing or
    // unplayable file, or no audio device, is silence.
    virtual void play(const QString &path) = 0;
};

// The module's one entry point, extern "C": WaveBackend *(), the caller
// owning what it returns.
inline constexpr char kWaveBackendFactory[] = "vortana_make_wave_backend";

}  // namespace vortana
