// Plays one wave file at a time in the background: the sound module's
// backend, on Qt Multimedia.
#pragma once

#include "sound/wave.h"

#include <QHash>
#include <QObject>
#include <QString>

class QSoundEffect;

namespace vortana {

class WavePlayer : public QObject, public WaveBackend {
public:
    explicit WavePlayer(QObject *parent = nullptr);

    void preload(const QString &path) override;
    void play(const QString &path) override;

    QSoundEffect *current() const { return current_; }

private:
    QSoundEffect *effect(const QString &path);

    QHash<QString, QSoundEffect *> effects_;
    QSoundEffect *current_ = nullptr;
};

}  // namespace vortana

extern "C" Q_DECL_EXPORT vortana::WaveBackend *vortana_make_wave_backend();
