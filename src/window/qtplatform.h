// The platform of the real game: Qt's dialogs, its event loop, the sound
// module and the user's folders.
#pragma once

#include "window/platform.h"

#include <memory>

namespace vortana {

class WaveBackend;

class QtPlatform : public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

    QString inputBox(QWidget *parent, const QString &prompt, const QString &title) override;
    int msgBox(QWidget *parent, const QString &text, int style, const QString &title) override;
    void errorBox(QWidget *parent, const QString &text) override;
    void quit(int status) override;
    void playWave(const QString &path) override;
    void warmUp() override;
    QString programDir() const override;
    QString dataDir() const override;

    int exitStatus() const { return exitStatus_; }

private:
    // Loads the sound module and preloads the sounds on the first call;
    // null if there is no module: the game then plays silently.
    WaveBackend *wave();

    QString programDir_;
    int exitStatus_ = 0;
    bool waveTried_ = false;
    std::unique_ptr<WaveBackend> wave_;
};

}  // namespace vortana
