#include "benchplatform.h"

#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cmath>

namespace vortana::bench {

BenchPlatform::BenchPlatform() = default;

int BenchPlatform::msgBox(QWidget *, const QString &, int style, const QString &)
{
    ++boxes;
    return style & YesNo ? AnswerYes : AnswerOk;
}

void processEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool waitActivated(Tavola &t)
{
    QElapsedTimer clock;
    clock.start();
    while (!(t.isLoaded() && !t.target(Target::paricmd)->text().isEmpty())) {
        if (clock.elapsed() > 5000 || t.hasEnded())
            return false;
        processEvents();
    }
    return true;
}

std::unique_ptr<Tavola> startGame(BenchPlatform &platform)
{
    auto t = std::make_unique<Tavola>(platform, Rng::shared());
    t->start();
    if (!waitActivated(*t))
        return nullptr;
    return t;
}

std::unique_ptr<Tavola> startPlay(BenchPlatform &platform)
{
    auto t = startGame(platform);
    if (t)
        t->run(&Tavola::Form_Click);
    else
        std::fprintf(stderr, "the game never activated\n");
    return t;
}

void timersOff(Tavola &t)
{
    t.timer("Timer1")->stop();
    t.timer("Timer2")->stop();
}

void offscreenByDefault()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void PaintCounter::watch(QWidget *w) { w->installEventFilter(this); }

bool PaintCounter::eventFilter(QObject *, QEvent *e)
{
    if (e->type() == QEvent::Paint) {
        ++paints;
        if (game_)
            gradientShown = game_->gradientsPainted();
    }
    return false;
}

bool repaintNow(PaintCounter &counter, int before)
{
    // The repaint is posted behind the handler; a few passes at most.
    for (int pass = 0; pass < 5 && counter.paints == before; ++pass)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return counter.paints > before;
}

bool gradientOnScreen(PaintCounter &counter, const Tavola &game)
{
    for (int pass = 0; pass < 5 && counter.gradientShown != game.gradientsPainted(); ++pass)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return counter.gradientShown == game.gradientsPainted();
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    // Nearest rank: the smallest value with at least p of the samples at or below it.
    const auto rank = std::size_t(std::ceil(p * double(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

long procStatusKiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

}  // namespace vortana::bench
