// What the tests share: a platform that answers dialogs from a script and
// records what the game asked of it, and a way to start a game.
#pragma once

#include "files.h"
#include "play/random.h"
#include "records/codepage.h"
#include "records/lock.h"
#include "records/number.h"
#include "records/recordfiles.h"
#include "records/save.h"
#include "window/application.h"
#include "window/platform.h"
#include "window/qtplatform.h"
#include "window/tavola.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace vortana::test {

struct Box {
    QString text;
    int style;
    QString title;
};

class FakePlatform : public Platform {
public:
    FakePlatform();

    // Answers to the name prompt, in order; "" once they run out.
    QStringList names;
    // Decides the answer to each message box; by default OK, or No for a
    // Yes/No question. Runs while the box would be open.
    std::function<int(const Box &)> answer;
    // Run while the name prompt or an error report is open, and as each sound starts.
    std::function<void()> onPrompt, onError, onSound;

    QStringList prompts;
    QList<Box> boxes;
    QStringList errors;
    QList<int> quits;
    QStringList sounds;
    QString program = QStringLiteral("/opt/vortana-test");
    QString data;

    QString inputBox(QWidget *, const QString &prompt, const QString &title) override;
    int msgBox(QWidget *, const QString &text, int style, const QString &title) override;
    void errorBox(QWidget *, const QString &text) override;
    void quit(int status) override;
    void playWave(const QString &path) override;
    QString programDir() const override { return program; }
    QString dataDir() const override { return data; }

    QTemporaryDir tmp;
};

// A generator whose draws the test chooses: r() takes them in order and
// falls back on real draws once they run out. Re-seeds are logged
// ("clock" or the number) and still mix into the real state.
class ScriptedRng : public Rng {
public:
    QList<float> next;
    QStringList reseeds;
    void reseed(std::int32_t value) override
    {
        reseeds << QString::number(value);
        Rng::reseed(value);
    }
    void reseedFromClock() override
    {
        reseeds << QStringLiteral("clock");
        Rng::reseedFromClock();
    }
    float r() override { return next.isEmpty() ? Rng::r() : next.takeFirst(); }
    // Queues draws such as "0 0.5 top"; top is the largest r below 1, which makes every R(n) n - 1.
    void queue(const QString &draws)
    {
        for (const QString &r : draws.split(u' ', Qt::SkipEmptyParts))
            next << (r == QLatin1String("top") ? 1.0f - 0x1p-24f : r.toFloat());
    }
};

inline QString pointsPath(const FakePlatform &p) { return p.data + QStringLiteral("/avortana.txt"); }
inline QString namePath(const FakePlatform &p) { return p.data + QStringLiteral("/vortana.txt"); }

// Starts a game (creation, load, display) and waits for its activation.
std::unique_ptr<Tavola> startGame(FakePlatform &platform, const QString &name = QStringLiteral("Tester"),
                                  Rng &rng = Rng::shared());
// True once the activation sequence has given the targets their numbers.
bool waitActivated(Tavola &t);

}  // namespace vortana::test
