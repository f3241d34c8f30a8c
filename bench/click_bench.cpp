// Click to screen: from the press on a target, or the start of a step,
// until the handler has returned and the window has repainted. Each
// iteration is timed on its own so that the tail (p99) shows, not only
// the mean.
#include "benchplatform.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>
#include <benchmark/benchmark.h>
#include <chrono>

using namespace vortana;
using namespace vortana::bench;

namespace {

using Clock = std::chrono::steady_clock;

// Play on, then both timers off: a tick landing inside an iteration would
// time two events as one. The tick's own work is the movement bench.
std::unique_ptr<Tavola> gameInPlay(BenchPlatform &platform, benchmark::State &state)
{
    auto game = startPlay(platform);
    if (!game) {
        state.SkipWithError("the game never activated");
        return nullptr;
    }
    timersOff(*game);
    processEvents();
    return game;
}

// `unpainted` counts iterations whose work never reached the screen, or
// whose handler never ran: either would time nothing.
void report(benchmark::State &state, const std::vector<double> &ms, int unpainted, const BenchPlatform &platform)
{
    if (!platform.errors.isEmpty() || !platform.quits.isEmpty())
        state.SkipWithError("the game ended or reported an error");
    state.counters["median_ms"] = percentile(ms, 0.50);
    state.counters["p99_ms"] = percentile(ms, 0.99);
    state.counters["max_ms"] = percentile(ms, 1.0);
    state.counters["unpainted"] = unpainted;
}

void timeIt(benchmark::State &state, std::vector<double> &ms, Clock::time_point t0)
{
    const std::chrono::duration<double> d = Clock::now() - t0;
    state.SetIterationTime(d.count());
    ms.push_back(d.count() * 1e3);
}

// A game in play, watched for paints. `iteration` does one piece of work,
// stamps in t0 where its timing starts, and returns how many of its checks
// found the work unfinished.
template <typename Iteration>
void timeInPlay(benchmark::State &state, Iteration iteration)
{
    BenchPlatform platform;
    auto game = gameInPlay(platform, state);
    if (!game)
        return;
    PaintCounter counter(game.get());
    counter.watch(game->surface());
    std::vector<double> ms;
    int unpainted = 0;
    for (auto _ : state) {
        Clock::time_point t0;
        unpainted += iteration(platform, *game, counter, t0);
        timeIt(state, ms, t0);
    }
    report(state, ms, unpainted, platform);
}

void clickTarget(benchmark::State &state, Target which)
{
    timeInPlay(state, [which](BenchPlatform &platform, Tavola &game, PaintCounter &counter, Clock::time_point &t0) {
        FlatButton *b = game.target(which);
        b->show();
        processEvents();  // the show's own repaint is not the click's
        const QPoint at = b->rect().center();
        const int gradients = game.gradientsPainted();
        const int boxes = platform.boxes;
        t0 = Clock::now();
        QTest::mousePress(b, Qt::LeftButton, {}, at);
        QTest::mouseRelease(b, Qt::LeftButton, {}, at);
        // The click ends with a gradient; a miss also answered its warning.
        return int(!gradientOnScreen(counter, game))
            + int(game.gradientsPainted() == gradients || platform.boxes != boxes + !clickRule(which).hit);
    });
}

void BM_Hit(benchmark::State &state) { clickTarget(state, Target::paricmd); }
void BM_Miss(benchmark::State &state) { clickTarget(state, Target::disparicmd); }

// A step moves at least one shown target, so every step repaints; a
// gradient is done once it is on the screen.
void runHandler(benchmark::State &state, void (Tavola::*handler)(), bool paintsGradient)
{
    timeInPlay(state, [=](BenchPlatform &, Tavola &game, PaintCounter &counter, Clock::time_point &t0) {
        const int before = counter.paints;
        const int gradients = game.gradientsPainted();
        t0 = Clock::now();
        game.run(handler);
        return int(!(paintsGradient ? gradientOnScreen(counter, game) : repaintNow(counter, before)))
            + int(paintsGradient && game.gradientsPainted() == gradients);
    });
}

void BM_MovementStep(benchmark::State &state) { runHandler(state, &Tavola::Timer2_Timer, false); }
void BM_Gradient(benchmark::State &state) { runHandler(state, &Tavola::cmdNext_Click, true); }

// "Nuovo gioco" answered Yes, the prompt and greeting answered at once,
// until activation has numbered the targets and the window has repainted.
void BM_NewGame(benchmark::State &state)
{
    BenchPlatform platform;
    auto game = gameInPlay(platform, state);
    if (!game)
        return;
    std::vector<double> ms;
    int unpainted = 0;
    for (auto _ : state) {
        PaintCounter counter(game.get());
        const int gradients = game->gradientsPainted();
        const auto t0 = Clock::now();
        game->run(&Tavola::Next_Click);
        counter.watch(game->surface());
        if (!waitActivated(*game)) {
            state.SkipWithError("a new game never activated");
            break;
        }
        // Load and activation each end with a gradient; the last must be on the screen.
        unpainted += !gradientOnScreen(counter, *game) || game->gradientsPainted() < gradients + 2;
        timeIt(state, ms, t0);
        game->run(&Tavola::Form_Click);  // manual time: this is not counted
        game->timer("Timer1")->stop();
        game->timer("Timer2")->stop();
        processEvents();
    }
    report(state, ms, unpainted, platform);
}

// The yardstick: one full repaint of a bare widget the size of the
// game's client area, drawn from an image as the game's background is.
class Canvas : public QWidget {
public:
    Canvas() : image_(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips), QImage::Format_RGB32)
    {
        image_.fill(Qt::darkCyan);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(image_.size());
    }

protected:
    void paintEvent(QPaintEvent *e) override
    {
        QPainter p(this);
        p.drawImage(e->rect(), image_, e->rect());
    }

private:
    QImage image_;
};

void BM_ReferenceRepaint(benchmark::State &state)
{
    Canvas canvas;
    canvas.show();
    processEvents();
    PaintCounter counter;
    counter.watch(&canvas);
    std::vector<double> ms;
    int unpainted = 0;
    for (auto _ : state) {
        const int before = counter.paints;
        const auto t0 = Clock::now();
        canvas.update();
        unpainted += !repaintNow(counter, before);
        timeIt(state, ms, t0);
    }
    BenchPlatform none;
    report(state, ms, unpainted, none);
}

}  // namespace

BENCHMARK(BM_ReferenceRepaint)->UseManualTime()->Iterations(1001)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hit)->UseManualTime()->Iterations(1001)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Miss)->UseManualTime()->Iterations(1001)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MovementStep)->UseManualTime()->Iterations(5001)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gradient)->UseManualTime()->Iterations(1001)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewGame)->UseManualTime()->Iterations(201)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    offscreenByDefault();
    QApplication app(argc, argv);
    setUpApplication(app);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
