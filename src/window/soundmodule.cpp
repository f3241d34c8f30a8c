// Sound comes from a module of its own, loaded on the first need once the
// window is up.
#include "play/rules.h"
#include "sound/wave.h"
#include "window/qtplatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace vortana {

namespace {

// The sound module, looked for in the same order as the sounds. The
// library stays loaded to the end, under the backend it made.
std::unique_ptr<WaveBackend> loadWaveBackend()
{
    const QString here = QCoreApplication::applicationDirPath();
    QString error = QStringLiteral("not found");
    for (const QString &dir : {here, here + QStringLiteral("/" VORTANA_LIBDIR_FROM_BINDIR), QStringLiteral(VORTANA_LIBDIR)}) {
        const QString path = QDir::cleanPath(dir + QStringLiteral("/" VORTANA_SOUND_MODULE));
        if (!QFileInfo(path).isFile())
            continue;
        QLibrary module(path);
        using Make = WaveBackend *(*)();
        if (auto make = reinterpret_cast<Make>(module.resolve(kWaveBackendFactory)))
            return std::unique_ptr<WaveBackend>(make());
        error = module.errorString();
    }
    qWarning("vortana: no sound module, playing silently: %s", qPrintable(error));
    return nullptr;
}

}  // namespace

WaveBackend *QtPlatform::wave()
{
    if (!waveTried_) {
        waveTried_ = true;
        wave_ = loadWaveBackend();
        // Decoded now, the first shot starts without a delay.
        if (wave_)
            for (std::string_view s : {kShot, kExplosion, kLaser})
                wave_->preload(programDir_ + QString::fromUtf8(s.data(), qsizetype(s.size())));
    }
    return wave_.get();
}

void QtPlatform::playWave(const QString &path)
{
    if (WaveBackend *w = wave())
        w->play(path);
}

void QtPlatform::warmUp() { wave(); }

}  // namespace vortana
