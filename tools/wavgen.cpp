// wavgen: synthesizes Vortana's sound effects as 16-bit mono PCM WAV files.
// Generated at build time so the repo carries no binary audio and every
// sound is our own. Usage: wavgen OUTDIR
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPeak = 0.7079;  // -3 dBFS, leaves headroom when sounds overlap
constexpr double kTwoPi = 2.0 * std::numbers::pi;

using Buffer = std::vector<double>;

// Own generator instead of <random> distributions: their output differs
// between standard libraries, and a fixed seed should mean the same noise
// with any toolchain.
class Noise {
public:
    double next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483647.5 - 1.0;
    }

private:
    std::uint32_t state_ = 0x5EED1234u;
};

Buffer render(double seconds, const std::function<double(double)> &fn)
{
    Buffer out(static_cast<std::size_t>(std::lround(seconds * kRate)));
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = fn(static_cast<double>(i) / kRate);
    return out;
}

// Ramp both ends so playback starts and stops at zero instead of clicking,
// then scale to the target peak.
void finish(Buffer &b, double fadeInMs, double fadeOutMs)
{
    const auto in = static_cast<std::size_t>(fadeInMs * kRate / 1000.0);
    const auto out = static_cast<std::size_t>(fadeOutMs * kRate / 1000.0);
    for (std::size_t i = 0; i < in && i < b.size(); ++i)
        b[i] *= static_cast<double>(i) / static_cast<double>(in);
    for (std::size_t i = 0; i < out && i < b.size(); ++i)
        b[b.size() - 1 - i] *= static_cast<double>(i) / static_cast<double>(out);
    double peak = 0.0;
    for (double s : b)
        peak = std::max(peak, std::abs(s));
    if (peak > 0.0)
        for (double &s : b)
            s *= kPeak / peak;
}

Buffer gunshot()
{
    Noise noise;
    double thumpPhase = 0.0;
    Buffer b = render(0.35, [&](double t) {
        const double crack = noise.next() * std::exp(-t / 0.025);
        // Thump sags in pitch like a real body resonance being struck.
        thumpPhase += kTwoPi * (45.0 + 70.0 * std::exp(-t / 0.03)) / kRate;
        const double thump = std::sin(thumpPhase) * std::exp(-t / 0.09);
        return 0.8 * crack + 0.9 * thump;
    });
    finish(b, 1.0, 30.0);
    return b;
}

Buffer explosion()
{
    Noise noise;
    double lp1 = 0.0, lp2 = 0.0, rumblePhase = 0.0;
    Buffer b = render(0.9, [&](double t) {
        // Two one-pole low-passes keep only the rumble; the cutoff closes as
        // the blast dies, so the tail gets darker.
        const double a = 0.02 + 0.10 * std::exp(-t / 0.15);
        lp1 += a * (noise.next() - lp1);
        lp2 += a * (lp1 - lp2);
        rumblePhase += kTwoPi * 38.0 / kRate;
        const double attack = std::min(1.0, t / 0.012);
        return attack * std::exp(-t / 0.28) * (lp2 + 0.15 * std::sin(rumblePhase));
    });
    finish(b, 2.0, 60.0);
    return b;
}

Buffer laser()
{
    double phase = 0.0;
    Buffer b = render(0.45, [&](double t) {
        // Exponential sweep sounds like an even fall in pitch.
        const double freq = 1800.0 * std::pow(150.0 / 1800.0, t / 0.45);
        phase += kTwoPi * freq / kRate;
        const double sine = std::sin(phase);
        const double square = sine >= 0.0 ? 1.0 : -1.0;
        return (0.6 * sine + 0.4 * square) * std::exp(-t / 0.2);
    });
    finish(b, 3.0, 40.0);
    return b;
}

void put16(std::string &s, std::uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

void put32(std::string &s, std::uint32_t v)
{
    put16(s, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(s, static_cast<std::uint16_t>(v >> 16));
}

// Little-endian fields written byte by byte, so the host's endianness
// doesn't matter.
bool writeWav(const std::filesystem::path &path, const Buffer &b)
{
    const auto dataBytes = static_cast<std::uint32_t>(b.size() * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    put32(out, 16);  // fmt chunk size
    put16(out, 1);   // PCM
    put16(out, 1);   // mono
    put32(out, kRate);
    put32(out, kRate * 2);  // byte rate
    put16(out, 2);          // block align
    put16(out, 16);         // bits per sample
    out += "data";
    put32(out, dataBytes);
    for (double s : b) {
        const long v = std::lround(std::clamp(s, -1.0, 1.0) * 32767.0);
        put16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    }
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(out.data(), static_cast<std::streamsize>(out.size()));
    f.close();
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "wavgen: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
        return 1;
    }
    const struct {
        const char *name;
        Buffer (*make)();
    } sounds[] = {{"sparo.wav", gunshot}, {"esplosi.wav", explosion}, {"laser.wav", laser}};
    for (const auto &s : sounds) {
        const auto path = dir / s.name;
        if (!writeWav(path, s.make())) {
            std::fprintf(stderr, "wavgen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
