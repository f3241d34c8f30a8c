// A long session in one process: many new games, movement steps, hits and
// misses. What the session leaves behind in resident memory is the figure.
#include "benchplatform.h"

#include <QApplication>
#include <cstdio>

using namespace vortana;
using namespace vortana::bench;

namespace {

constexpr Target kHits[] = {Target::paricmd, Target::paricmd1, Target::paricmd2};
constexpr Target kMisses[] = {Target::disparicmd, Target::disparicmd1, Target::disparicmd2};
constexpr void (Tavola::*kHitHandlers[])() = {&Tavola::paricmd_Click, &Tavola::paricmd1_Click,
                                              &Tavola::paricmd2_Click};
constexpr void (Tavola::*kMissHandlers[])() = {&Tavola::disparicmd_Click, &Tavola::disparicmd1_Click,
                                               &Tavola::disparicmd2_Click};

}  // namespace

int main(int argc, char **argv)
{
    offscreenByDefault();
    QApplication app(argc, argv);
    setUpApplication(app);
    const int games = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const int steps = argc > 2 ? QByteArray(argv[2]).toInt() : 100000;
    const int clicks = argc > 3 ? QByteArray(argv[3]).toInt() : 20000;

    BenchPlatform platform;
    auto game = startPlay(platform);
    if (!game)
        return 1;
    timersOff(*game);
    processEvents();
    const long afterFirst = procStatusKiB("VmRSS");

    // Interleaved so that each new game starts from a board that has played,
    // and each handler followed by its repaint, as the event loop would.
    const int rounds = games;
    int stepsDone = 0, clicksDone = 0;
    for (int round = 0; round < rounds; ++round) {
        game->run(&Tavola::Next_Click);
        if (!waitActivated(*game)) {
            std::fprintf(stderr, "a new game never activated\n");
            return 1;
        }
        game->run(&Tavola::Form_Click);
        timersOff(*game);
        for (const int stepsEnd = steps * (round + 1) / rounds; stepsDone < stepsEnd; ++stepsDone) {
            game->run(&Tavola::Timer2_Timer);
            processEvents();
        }
        for (const int clicksEnd = clicks * (round + 1) / rounds; clicksDone < clicksEnd; ++clicksDone) {
            const int i = clicksDone / 2 % 3;
            const bool hit = clicksDone % 2 == 0;
            game->target(hit ? kHits[i] : kMisses[i])->show();
            game->run(hit ? kHitHandlers[i] : kMissHandlers[i]);
            processEvents();
        }
        processEvents();
    }
    processEvents();
    const long afterSession = procStatusKiB("VmRSS");
    // Every click and every load and activation painted a gradient: proof that
    // the handlers ran rather than returned early.
    const bool ran = game->gradientsPainted() >= clicksDone + 2 * games;
    const bool ok = ran && platform.errors.isEmpty() && platform.quits.isEmpty() && !game->hasEnded();

    std::printf("{\"games\": %d, \"steps\": %d, \"clicks\": %d, \"rss_first_kib\": %ld, \"rss_after_kib\": %ld, "
                "\"hwm_kib\": %ld, \"ok\": %s}\n",
                games, stepsDone, clicksDone, afterFirst, afterSession, procStatusKiB("VmHWM"), ok ? "true" : "false");
    return ok ? 0 : 1;
}
