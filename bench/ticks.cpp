// Counts the ticks of both timers over a stretch of play with no input:
// the clock must keep time and the movement its pace.
#include "benchplatform.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

using namespace vortana;
using namespace vortana::bench;

int main(int argc, char **argv)
{
    offscreenByDefault();
    QApplication app(argc, argv);
    setUpApplication(app);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 60;

    BenchPlatform platform;
    auto game = startPlay(platform);
    if (!game)
        return 1;

    int timer1 = 0, timer2 = 0;
    QObject::connect(game->timer("Timer1"), &QTimer::timeout, [&] { ++timer1; });
    QObject::connect(game->timer("Timer2"), &QTimer::timeout, [&] { ++timer2; });
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();

    std::printf("{\"seconds\": %d, \"timer1\": %d, \"timer2\": %d, \"ended\": %s}\n", seconds, timer1, timer2,
                game->hasEnded() ? "true" : "false");
    return game->hasEnded() ? 1 : 0;
}
