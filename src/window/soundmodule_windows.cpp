// Sound on Windows is winmm's PlaySoundW, part of every Windows: no module
// to load and no Qt Multimedia, whose Windows backend can't be built from
// Debian's sources. One sound at a time, as the game plays them.
#include "play/rules.h"
#include "sound/wave.h"
#include "window/qtplatform.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

namespace vortana {

namespace {

class WinmmWave : public WaveBackend {
public:
    ~WinmmWave() override { PlaySoundW(nullptr, nullptr, 0); }  // the bytes it plays go with it
    // Held in memory: the first play starts without reading the disk.
    void preload(const QString &path) override
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            loaded_.insert(path, file.readAll());
    }
    // A new sound cuts off the one playing; a missing file is silence.
    void play(const QString &path) override
    {
        if (const auto it = loaded_.constFind(path); it != loaded_.cend())
            PlaySoundW(reinterpret_cast<LPCWSTR>(it->constData()), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
        else
            PlaySoundW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()), nullptr,
                       SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
    }

private:
    QHash<QString, QByteArray> loaded_;
};

}  // namespace

WaveBackend *QtPlatform::wave()
{
    if (!waveTried_) {
        waveTried_ = true;
        wave_ = std::make_unique<WinmmWave>();
        for (std::string_view s : {kShot, kExplosion, kLaser})
            wave_->preload(programDir_ + QString::fromUtf8(s.data(), qsizetype(s.size())));
    }
    return wave_.get();
}

void QtPlatform::playWave(const QString &path)
{
    wave()->play(path);
}

void QtPlatform::warmUp() { wave(); }

}  // namespace vortana
