// Play on a started game: the start of play, the movement step, the six
// click handlers and what goes on behind the warning of a miss.
#include "support.h"

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <set>

using namespace vortana;
using namespace vortana::test;

namespace {

// What a movement step can see and change of one target; number is the
// variable behind a non-multiple.
struct Seen { bool shown; QPoint logical, pixel; QString caption; int number; };
using State = std::array<Seen, kTargets>;

State snapshot(const Tavola &t)
{
    const Variables &v = t.vars();
    const int numbers[kTargets] = {0, 0, 0, v.disparicmdNumber, v.disparicmd1Number, v.disparicmd2Number};
    State s;
    for (std::size_t i = 0; i < kTargets; ++i) {
        const FlatButton *b = t.target(Target(i));
        s[i] = {!b->isHidden(), t.targetPosition(Target(i)), b->pos(), b->text(), numbers[i]};
    }
    return s;
}

qsizetype shownCount(const Tavola &t) { return std::ranges::count_if(snapshot(t), &Seen::shown); }

bool inDraw(int v, Draw d) { return v >= d.add && v < d.n + d.add; }

// Whether case `c` turns `a` into `b`; h is the client height in pixels.
bool explains(const MoveCase &c, const State &a, const State &b, int h)
{
    for (std::size_t i = 0; i < kTargets; ++i) {
        const MoveCell &cell = c[i];
        const Seen &was = a[i], &is = b[i];
        const bool shownFirst = i == 1 || i == 4 || i == 5;
        const bool shown = cell.vis == Vis::Shown || (cell.vis == Vis::Kept && (shownFirst || was.shown));
        const bool left = cell.left.used() ? inDraw(is.logical.x(), cell.left) && is.pixel.x() == is.logical.x()
                                           : is.pixel.x() == was.pixel.x() && is.logical.x() == was.logical.x();
        // A drawn top equal to the old one may keep the row it had.
        const bool sameTop = is.pixel.y() == was.pixel.y() && is.logical.y() == was.logical.y();
        const bool top = cell.top.used()
            ? inDraw(is.logical.y(), cell.top) && (is.pixel.y() == is.logical.y() * h / kScaleHeight || sameTop)
            : sameTop;
        const Renumber r = renumberOf(Target(i));
        const int n = is.number;
        const bool number = cell.renumber
            ? is.caption == QString::number(n) && n % 11 == r.c && n >= 11 + r.c && n <= 11 * r.m + r.c
            : is.caption == was.caption && n == was.number;
        if (is.shown != shown || !left || !top || !number)
            return false;
    }
    return true;
}

}  // namespace

class TestPlay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }

    // A click on a bare spot starts play: the laser first, then a gradient
    // and a step. Each later click adds a step of its own while Timer2 keeps
    // its 1.3 s beat: a player clicking every second must still see it.
    void startOfPlay()
    {
        FakePlatform p;
        auto t = startGame(p);
        QString atSound;
        p.onSound = [&] { atSound = QStringLiteral("%1 %2").arg(t->gradientsPainted()).arg(shownCount(*t)); };
        QElapsedTimer clock;
        QList<qint64> ticks;
        connect(t->timer("Timer2"), &QTimer::timeout, this, [&] { ticks << clock.elapsed(); });
        const QPoint at = t->surface()->mapTo(t.get(), QPoint(450, 300));
        for (int click = 0; click < 6; ++click) {
            for (int i = 0; i < kTargets; ++i)
                t->target(Target(i))->hide();
            QCOMPARE(t->childAt(at), t->surface());
            const int painted = t->gradientsPainted();
            const auto digits = std::pair(t->vars().num1, t->vars().num2);
            QTest::mouseClick(t->windowHandle(), Qt::LeftButton, {}, at);
            QCOMPARE(p.sounds, QStringList(click + 1, p.program + QStringLiteral("/suoni/laser.wav")));
            QCOMPARE(atSound, QStringLiteral("%1 0").arg(painted));  // before the gradient and the step
            QCOMPARE(t->gradientsPainted(), painted + 1);
            const qsizetype shown = shownCount(*t);
            QVERIFY2(shown == 1 || shown == 2 || shown == 4, qPrintable(QString::number(shown)));
            QCOMPARE(std::pair(t->vars().num1, t->vars().num2), digits);  // they belong to cmdNext_Click
            if (click == 0)
                clock.start();
            QTest::qWait(int(1000 * (click + 1) - clock.elapsed()));
        }
        QTest::qWait(int(5500 - clock.elapsed()));
        QVERIFY2(ticks.size() == 4, qPrintable(QString::number(ticks.size())));
        for (int i = 0; i < ticks.size(); ++i)
            QVERIFY2(qAbs(ticks[i] - 1300 * (i + 1)) < 250, qPrintable(QString::number(ticks[i])));
        QVERIFY(p.errors.isEmpty());
    }

    void movementFollowsTable()
    {
        FakePlatform p;
        auto t = startGame(p);
        std::array<int, 6> unique{};
        std::array<std::set<int>, kTargets> numbers;
        for (int step = 0; step < 3000; ++step) {
            const State a = snapshot(*t);
            t->Timer2_Timer();
            const State b = snapshot(*t);
            const auto fits = [&](const MoveCase &c) { return explains(c, a, b, t->surface()->height()); };
            const auto k = std::size_t(std::ranges::find_if(kMoveCases, fits) - kMoveCases.begin());
            QVERIFY2(k < 6, qPrintable(QStringLiteral("step %1").arg(step)));
            if (std::ranges::count_if(kMoveCases, fits) > 1)
                continue;
            ++unique[k];
            for (std::size_t i = 0; i < kTargets; ++i)
                if (kMoveCases[k][i].renumber)
                    numbers[i].insert(b[i].number);
        }
        for (int k = 0; k < 6; ++k)
            QVERIFY2(unique[std::size_t(k)] >= 300, qPrintable(QStringLiteral("case %1: %2").arg(k + 1).arg(unique[std::size_t(k)])));
        // Re-seeding with the previous number must not lock the numbers in a loop.
        QVERIFY(numbers[3].size() >= 100 && numbers[4].size() >= 15 && numbers[5].size() >= 15);  // of 150, 20, 20
    }

    void clickHandlers_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("score");  // at the start
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("warning");  // empty: a hit
        QTest::addColumn<int>("lo");
        QTest::addColumn<int>("hi");
        const QString after = QStringLiteral(" non è  un numero divisibile per 11");
        QTest::newRow("paricmd at the top") << 0 << 32766 << "" << "" << 11 << 1100;
        QTest::newRow("paricmd1") << 1 << 0 << "" << "" << 22 << 561;
        QTest::newRow("paricmd2") << 2 << -5 << "" << "" << 11 << 220;
        QTest::newRow("disparicmd at the bottom") << 3 << -32764 << "57" << QStringLiteral("Attenzione!  57") + after << 2 << 111;
        QTest::newRow("disparicmd1") << 4 << 0 << "63" << QStringLiteral("Attenzione! Hai sbagliato:  63") + after << 1652 << 1652;
        QTest::newRow("disparicmd2") << 5 << 9 << "1000" << QStringLiteral("Attenzione!  1000") + after << 1 << 989;
    }

    void clickHandlers()
    {
        QFETCH(int, target);
        QFETCH(int, score);
        QFETCH(QString, caption);
        QFETCH(QString, warning);
        QFETCH(int, lo);
        QFETCH(int, hi);
        const bool hit = warning.isEmpty();
        FakePlatform p;
        auto t = startGame(p);
        t->vars().score = std::int16_t(score);
        FlatButton *b = t->target(Target(target));
        if (!caption.isEmpty())
            b->setText(caption);
        b->raise();
        QStringList atSound, inBox;  // "flashCounter colour", "sounds colour hidden score|text|style|title"
        p.onSound = [&] { atSound << QStringLiteral("%1 %2").arg(t->vars().flashCounter).arg(b->backColor().name()); };
        int movedBehind = 0;
        p.answer = [&](const Box &box) {
            inBox << QStringLiteral("%1 %2 %3 %4|%5|%6|%7").arg(p.sounds.size()).arg(b->backColor().name()).arg(b->isHidden())
                         .arg(t->vars().score).arg(box.text).arg(box.style).arg(box.title);
            // Steps behind the box show the button again under a number of their own.
            const QString clicked = b->text();
            for (int i = 0; i < 1000 && (b->isHidden() || b->text() == clicked); ++i)
                t->Timer2_Timer();
            movedBehind += !b->isHidden() && b->text() != clicked;
            return int(AnswerOk);
        };
        const int painted = t->gradientsPainted();
        std::set<int> seen;
        for (int i = 1; i <= 30; ++i) {
            b->show();
            const int before = score;
            QTest::mouseClick(b, Qt::LeftButton);
            // One point up or four down, staying at the ends of 16 bits; only a hit writes a blank first.
            score = std::clamp(score + (hit ? 1 : -4), -32768, 32767);
            QCOMPARE(t->label("Punteggio")->caption(), (hit ? QStringLiteral(" ") : QString()) + QString::number(score));
            QVERIFY(b->isHidden());
            QCOMPARE(b->backColor(), QColor(0, 255, 255));
            const int n = b->text().toInt();
            QVERIFY2(b->text() == QString::number(n) && n >= lo && n <= hi && (n % 11 == 0) == hit, qPrintable(b->text()));
            if (target == 2 || target == 5)
                QCOMPARE(n, int(target == 2 ? t->vars().paricmd2Number : t->vars().disparicmd2Number));
            QCOMPARE(t->gradientsPainted(), painted + i);
            seen.insert(n);
            if (i > 1)
                continue;
            // No laser and no Timer2: a number button does not start play.
            QCOMPARE(p.sounds, QStringList{p.program + (hit ? "/suoni/sparo.wav" : "/suoni/esplosi.wav")});
            QVERIFY(!t->timer("Timer2")->isActive());
            QCOMPARE(atSound, QStringList{hit ? "20001 #00ff00" : "10001 #ff0000"});  // after the whole flash
            // The explosion comes first, then the box over a still red, still shown button.
            QCOMPARE(inBox, hit ? QStringList() : QStringList{QStringLiteral("1 #ff0000 0 %1|%2|0|Vortana").arg(before).arg(warning)});
        }
        QCOMPARE(inBox.size(), hit ? 0 : 30);
        QCOMPARE(movedBehind, inBox.size());
        // disparicmd1 always gets 1652; the others draw anew from their seeds.
        QVERIFY2(lo == hi ? seen.size() == 1 : seen.size() >= 5, qPrintable(QString::number(seen.size())));
        QVERIFY(p.errors.isEmpty() && p.quits.isEmpty());
    }
};

QTEST_MAIN(TestPlay)
#include "test_play.moc"
