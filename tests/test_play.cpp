// Play on a started game: the start of play, the movement step, the six
// click handlers and what goes on behind the warning of a miss.
#include "support.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <map>
#include <ranges>

using namespace vortana;
using namespace vortana::test;

namespace {

qsizetype shownCount(const Tavola &t)
{
    return std::ranges::count_if(std::views::iota(0, kTargets), [&](int i) { return !t.target(Target(i))->isHidden(); });
}

// The movement table, as the rules give it, in the column order paricmd,
// paricmd1, paricmd2, disparicmd, disparicmd1, disparicmd2.
const char *const kCases[6][kTargets] = {
    {"shown; top R(600)", "hidden; left R(300)", "shown", "kept; left R(450), top R(1100)", "hidden", "hidden"},
    {"shown; left R(800), top R(800)", "shown; left R(300), top R(300)", "kept", "kept", "shown; new number", "shown"},
    {"hidden", "hidden; top R(300)", "kept; top R(150)", "hidden; new number", "shown; top R(300)", "shown; left R(50), top R(150)"},
    {"kept", "shown; left R(300), top R(500)", "shown", "shown; left R(300) + 1, top R(1000) + 1", "shown", "hidden"},
    {"hidden", "hidden; top R(300)", "kept; top R(200)", "hidden; top R(300)", "shown; top R(900)", "hidden; top R(500)"},
    {"kept; top R(200)", "hidden", "kept; top R(30)", "kept; top R(900)", "hidden; left R(300), top R(70)", "shown; top R(250); new number"},
};
// A renumbered button's new number is 11 * (R(M) + 1) + c; the index is the column.
const std::map<int, std::pair<int, int>> kRenumber{{3, {150, 4}}, {4, {20, 1}}, {5, {20, 5}}};

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
            const int painted = t->gradientsPainted();
            QTest::mouseClick(t->windowHandle(), Qt::LeftButton, {}, at);
            QCOMPARE(p.sounds, QStringList(click + 1, p.program + QStringLiteral("/suoni/laser.wav")));
            QCOMPARE(atSound, QStringLiteral("%1 0").arg(painted));  // before the gradient and the step
            QCOMPARE(t->gradientsPainted(), painted + 1);
            const qsizetype shown = shownCount(*t);
            QVERIFY2(shown == 1 || shown == 2 || shown == 4, qPrintable(QString::number(shown)));
            if (click == 0)
                clock.start();
            QTest::qWait(int(1000 * (click + 1) - clock.elapsed()));
        }
        QTest::qWait(int(5500 - clock.elapsed()));
        QVERIFY2(ticks.size() == 4, qPrintable(QString::number(ticks.size())));
        for (int i = 0; i < ticks.size(); ++i)
            QVERIFY2(qAbs(ticks[i] - 1300 * (i + 1)) < 250, qPrintable(QString::number(ticks[i])));
    }

    // Each case with every draw at the bottom of its range (r = 0) and at
    // the top (the largest r below 1), from all six hidden and all shown.
    void movementStep_data()
    {
        QTest::addColumn<int>("k");
        QTest::addColumn<bool>("top");
        for (int k = 1; k <= 6; ++k) {
            QTest::addRow("case %d, r 0, all hidden", k) << k << false;
            QTest::addRow("case %d, top r, all shown", k) << k << true;
        }
    }

    void movementStep()
    {
        QFETCH(int, k);
        QFETCH(bool, top);
        FakePlatform p;
        ScriptedRng rng;
        auto t = startGame(p, QStringLiteral("Tester"), rng);
        // They start where the layout puts them, tops in 512ths of the client height: 1560 twips are 104 pixels, 79.
        const QList<QPoint> home{{160, 79}, {192, 213}, {104, 329}, {384, 79}, {456, 262}, {336, 347}};
        for (int i = 0; i < kTargets; ++i)
            QCOMPARE(t->targetPosition(Target(i)), home[i]);
        std::int16_t *numbers[kTargets] = {nullptr, nullptr, nullptr, &t->vars().disparicmdNumber,
                                           &t->vars().disparicmd1Number, &t->vars().disparicmd2Number};
        for (int i = 0; i < kTargets; ++i) {
            t->target(Target(i))->setVisible(top);
            t->moveTarget(Target(i), 1000 + i, 2000 + i);
            t->target(Target(i))->setText(QStringLiteral("n%1").arg(i));
            if (numbers[i])
                *numbers[i] = std::int16_t(500 + i);
        }
        rng.reseeds.clear();
        rng.queue(QString::number((k - 0.5) / 6) + (top ? QStringLiteral(" top") : QStringLiteral(" 0")).repeated(20));
        t->Timer2_Timer();

        QStringList seeds{"clock"};
        const int height = t->surface()->height();
        for (int i = 0; i < kTargets; ++i) {
            const QString cell = QString::fromUtf8(kCases[k - 1][i]);
            const QString vis = cell.section(u';', 0, 0);
            const bool shownFirst = i == 1 || i == 4 || i == 5;
            const bool shown = vis == QLatin1String("shown") || (vis == QLatin1String("kept") && (top || shownFirst));
            QPoint at(1000 + i, 2000 + i);
            static const QRegularExpression draw(QStringLiteral("(left|top) R\\((\\d+)\\)( \\+ 1)?"));
            for (const auto &m : draw.globalMatch(cell)) {
                const int v = (top ? m.captured(2).toInt() - 1 : 0) + (m.captured(3).isEmpty() ? 0 : 1);
                m.captured(1) == QLatin1String("left") ? at.setX(v) : at.setY(v);
            }
            QString caption = QStringLiteral("n%1").arg(i), number = numbers[i] ? QString::number(500 + i) : QString();
            if (cell.contains(QLatin1String("new number"))) {
                const auto [mm, c] = kRenumber.at(i);
                number = caption = QString::number(11 * (top ? mm : 1) + c);
                seeds << QString::number(500 + i);  // the button's previous number
            }
            const FlatButton *b = t->target(Target(i));
            const QPoint is = t->targetPosition(Target(i));
            QCOMPARE(QStringLiteral("%1 %2 %3,%4 %5 %6").arg(kTargetNames[i].data()).arg(int(!b->isHidden())).arg(is.x()).arg(is.y()).arg(b->text(), numbers[i] ? QString::number(*numbers[i]) : QString()),
                     QStringLiteral("%1 %2 %3,%4 %5 %6").arg(kTargetNames[i].data()).arg(int(shown)).arg(at.x()).arg(at.y()).arg(caption, number));
            // x in pixels, y in 512ths of the client height.
            QCOMPARE(b->x(), at.x());
            QVERIFY2(qAbs(b->y() - at.y() * height / 512) <= 1, kTargetNames[i].data());
        }
        QCOMPARE(rng.reseeds, seeds);
    }

    // Three clicks each, with chosen draws: r = 0, the largest r below 1,
    // and for a non-multiple a draw that hits a multiple and is drawn again.
    void clickHandlers_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("score");  // at the start
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("warning");     // empty: a hit
        QTest::addColumn<QStringList>("draws");   // the r of each click
        QTest::addColumn<QList<int>>("numbers");  // the button's number after each
        const QString after = QStringLiteral(" non è  un numero divisibile per 11");
        // clang-format 14 breaks a row between two strings: the rows stay as written.
        // clang-format off
        QTest::newRow("paricmd at the top") << 0 << 32766 << "" << "" << QStringList{"0", "top", "0.5"} << QList<int>{11, 1100, 561};
        QTest::newRow("paricmd1") << 1 << 0 << "" << "" << QStringList{"0", "top", "0.5"} << QList<int>{22, 561, 297};
        QTest::newRow("paricmd2") << 2 << -5 << "" << "" << QStringList{"0", "top", "0.5"} << QList<int>{11, 220, 121};
        QTest::newRow("disparicmd at the bottom") << 3 << -32764 << "57" << QStringLiteral("Attenzione!  57") + after
                                                  << QStringList{"0", "top", "0.09 0.5"} << QList<int>{2, 111, 57};
        QTest::newRow("disparicmd1") << 4 << 0 << "63" << QStringLiteral("Attenzione! Hai sbagliato:  63") + after
                                     << QStringList{"", "", ""} << QList<int>{1652, 1652, 1652};
        QTest::newRow("disparicmd2") << 5 << 9 << "1000" << QStringLiteral("Attenzione!  1000") + after
                                     << QStringList{"0", "top 0.5", "0.2"} << QList<int>{1, 496, 199};
        // clang-format on
    }

    void clickHandlers()
    {
        QFETCH(int, target);
        QFETCH(int, score);
        QFETCH(QString, caption);
        QFETCH(QString, warning);
        QFETCH(QStringList, draws);
        QFETCH(QList<int>, numbers);
        const bool hit = warning.isEmpty();
        FakePlatform p;
        ScriptedRng rng;
        auto t = startGame(p, QStringLiteral("Tester"), rng);
        t->vars().score = std::int16_t(score);
        t->vars().disparicmd2Number = 777;
        FlatButton *b = t->target(Target(target));
        if (!caption.isEmpty())
            b->setText(caption);
        b->raise();
        QStringList atSound, inBox;  // "flashCounter colour", "sounds colour hidden score|text|style|title"
        p.onSound = [&] { atSound << QStringLiteral("%1 %2").arg(t->vars().flashCounter).arg(b->backColor().name()); };
        int movedBehind = 0, seed = 0;
        p.answer = [&](const Box &box) {
            inBox << QStringLiteral("%1 %2 %3 %4|%5|%6|%7").arg(p.sounds.size()).arg(b->backColor().name()).arg(b->isHidden()).arg(t->vars().score).arg(box.text).arg(box.style).arg(box.title);
            // Steps behind the box show the button again under a number of their own.
            const QList<float> chosen = std::exchange(rng.next, {});
            const QString clicked = b->text();
            for (int i = 0; i < 1000 && (b->isHidden() || b->text() == clicked); ++i)
                t->Timer2_Timer();
            movedBehind += !b->isHidden() && b->text() != clicked;
            rng.next = chosen;
            seed = target == 5 ? t->vars().disparicmd2Number : 0;  // what the handler finds after the box
            return int(AnswerOk);
        };
        const int painted = t->gradientsPainted();
        for (int i = 1; i <= 3; ++i) {
            b->show();
            const int before = score;
            rng.next.clear();
            rng.queue(draws[i - 1]);
            rng.reseeds.clear();
            QTest::mouseClick(b, Qt::LeftButton);
            // One point up or four down, staying at the ends of 16 bits; only a hit writes a blank first.
            score = std::clamp(score + (hit ? 1 : -4), -32768, 32767);
            QCOMPARE(t->label("Punteggio")->caption(), (hit ? QStringLiteral(" ") : QString()) + QString::number(score));
            QVERIFY(b->isHidden());
            QCOMPARE(b->backColor(), QColor(0, 255, 255));
            QCOMPARE(b->text(), QString::number(numbers[i - 1]));
            // Re-seeded with 0, disparicmd2 with its number; then the repaint's clock.
            QCOMPARE(rng.reseeds.mid(rng.reseeds.size() - 2), QStringList({QString::number(seed), QStringLiteral("clock")}));
            if (target == 2 || target == 5)
                QCOMPARE(b->text(), QString::number(target == 2 ? t->vars().paricmd2Number : t->vars().disparicmd2Number));
            QCOMPARE(t->gradientsPainted(), painted + i);
            if (i > 1)
                continue;
            // No laser and no Timer2: a number button does not start play.
            QCOMPARE(p.sounds, QStringList{p.program + (hit ? "/suoni/sparo.wav" : "/suoni/esplosi.wav")});
            QVERIFY(!t->timer("Timer2")->isActive());
            QCOMPARE(atSound, QStringList{hit ? "20001 #00ff00" : "10001 #ff0000"});  // after the whole flash
            // The explosion comes first, then the box over a still red, still shown button.
            QCOMPARE(inBox, hit ? QStringList() : QStringList{QStringLiteral("1 #ff0000 0 %1|%2|0|Vortana").arg(before).arg(warning)});
        }
        QCOMPARE(QList<qsizetype>({inBox.size(), movedBehind}), QList<qsizetype>(2, hit ? 0 : 3));
        QVERIFY(p.errors.isEmpty() && p.quits.isEmpty());
    }
};

QTEST_MAIN(TestPlay)
#include "test_play.moc"
