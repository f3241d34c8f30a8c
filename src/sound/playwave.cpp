#include "sound/playwave.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace vortana {

WavePlayer::WavePlayer(QObject *parent) : QObject(parent) {}

QSoundEffect *WavePlayer::effect(const QString &path)
{
    auto it = effects_.find(path);
    if (it != effects_.end())
        return *it;
    auto *e = new QSoundEffect(this);
    // A file that isn't there would only make the back-end complain.
    if (QFileInfo(path).isFile())
        e->setSource(QUrl::fromLocalFile(path));
    effects_.insert(path, e);
    return e;
}

void WavePlayer::preload(const QString &path) { effect(path); }

void WavePlayer::play(const QString &path)
{
    if (current_)
        current_->stop();
    current_ = effect(path);
    if (!current_->source().isEmpty())
        current_->play();
}

}  // namespace vortana

vortana::WaveBackend *vortana_make_wave_backend() { return new vortana::WavePlayer; }
