// Plays one wave file at a time in the background.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QSoundEffect;

namespace vortana {

class WavePlayer : public QObject {
public:
    explicit WavePlayer(QObject *parent = nullptr);

    // Decodes ahead so that the first play starts at once.
    void preload(const QString &path);
    // Cuts off whatever is playing, then starts this file. A missing or
    // unplayable file, or no audio device, is silence.
    void play(const QString &path);

    QSoundEffect *current() const { return current_; }

private:
    QSoundEffect *effect(const QString &path);

    QHash<QString, QSoundEffect *> effects_;
    QSoundEffect *current_ = nullptr;
};

}  // namespace vortana
