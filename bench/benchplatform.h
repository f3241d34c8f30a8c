// What the in-process benches share: a platform that answers every dialog
// at once and plays nothing, and the steps that bring a game to play.
#pragma once

#include "window/application.h"
#include "window/platform.h"
#include "window/tavola.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace vortana::bench {

class BenchPlatform : public Platform {
public:
    BenchPlatform();

    QString inputBox(QWidget *, const QString &, const QString &) override { return QStringLiteral("Bench"); }
    // OK, or Yes to a question: a new game always goes ahead.
    int msgBox(QWidget *, const QString &, int style, const QString &) override;
    void errorBox(QWidget *, const QString &text) override { errors.append(text); }
    void quit(int status) override { quits.append(status); }
    void playWave(const QString &) override {}
    QString programDir() const override { return tmp.path(); }
    QString dataDir() const override { return tmp.path() + QStringLiteral("/data"); }

    int boxes = 0;
    QStringList errors;
    QList<int> quits;
    QTemporaryDir tmp;
};

// Creation, load and display, then the event loop until activation has
// given the targets their numbers. False if activation never came.
bool waitActivated(Tavola &t);
std::unique_ptr<Tavola> startGame(BenchPlatform &platform);
// A started game with the window clicked once, so that play runs.
std::unique_ptr<Tavola> startPlay(BenchPlatform &platform);
// With both timers off, the bench alone decides what runs.
void timersOff(Tavola &t);
// The benches run headless unless the caller chose a platform.
void offscreenByDefault();

// Runs what the event loop would run next, deferred deletes included.
void processEvents();

// Counts the paint events a widget receives, and notes which gradient
// was the latest when the last one came.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(const Tavola *game = nullptr) : game_(game) {}
    void watch(QWidget *w);
    int paints = 0;
    int gradientShown = -1;

private:
    const Tavola *game_;

protected:
    bool eventFilter(QObject *o, QEvent *e) override;
};

// Event-loop passes until `counter` has seen a paint beyond `before`; false
// if none came (nothing was dirty).
bool repaintNow(PaintCounter &counter, int before);
// Event-loop passes until the latest gradient has been painted.
bool gradientOnScreen(PaintCounter &counter, const Tavola &game);

double percentile(std::vector<double> v, double p);

// Resident set size in KiB, from /proc/self/status ("VmRSS", "VmHWM").
long procStatusKiB(const char *field);

}  // namespace vortana::bench
