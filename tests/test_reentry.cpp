// Both timers ticking behind each of the game's modal boxes: nothing may
// run twice, a click scores once, and nothing runs after the end.
#include "support.h"

#include <QTest>

using namespace vortana;
using namespace vortana::test;

namespace {

enum class Box_ { Warning, Farewell, Question };

// Ticks come fast so that a few hundred milliseconds behind a box hold
// many of them.
void quicken(Tavola &t)
{
    t.timer("Timer1")->setInterval(20);
    t.timer("Timer2")->setInterval(20);
}

void timeRunsOut(Tavola &t)
{
    t.vars().clockMinutes = 0;
    t.vars().clockSeconds = 0;
    t.label("lblconto")->setCaption(QStringLiteral("00:00:00"));
}

}  // namespace

class TestReentry : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void ticksBehindBoxes_data();
    void ticksBehindBoxes();
};

void TestReentry::ticksBehindBoxes_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<bool>("timeRunsOut");
    QTest::newRow("warning") << int(Box_::Warning) << false;
    QTest::newRow("warning, time runs out") << int(Box_::Warning) << true;
    QTest::newRow("farewell from the button") << int(Box_::Farewell) << true;
    QTest::newRow("new-game question") << int(Box_::Question) << false;
    QTest::newRow("new-game question, time runs out") << int(Box_::Question) << true;
}

void TestReentry::ticksBehindBoxes()
{
    QFETCH(int, box);
    QFETCH(bool, timeRunsOut);
    const auto which = Box_(box);

    FakePlatform p;
    auto t = startGame(p);
    t->run(&Tavola::Form_Click);
    quicken(*t);
    const std::int16_t scoreBefore = t->vars().score;
    const QString clockBefore = t->label("lblconto")->caption();
    int boxesOpen = 0, maxOpen = 0;
    p.answer = [&](const Box &b) {
        maxOpen = std::max(maxOpen, ++boxesOpen);
        const bool ours = (which == Box_::Warning && b.text.startsWith(QStringLiteral("Attenzione")))
            || (which == Box_::Question && b.style & YesNo) || (which == Box_::Farewell && b.text.endsWith(QStringLiteral("presto!")));
        if (ours) {
            if (timeRunsOut && which != Box_::Farewell)
                ::timeRunsOut(*t);
            QTest::qWait(400);
        }
        --boxesOpen;
        return b.style & YesNo ? AnswerNo : AnswerOk;
    };

    switch (which) {
    case Box_::Warning:
        t->target(Target::disparicmd)->setText(QStringLiteral("57"));
        t->run(&Tavola::disparicmd_Click);
        break;
    case Box_::Farewell:
        ::timeRunsOut(*t);
        t->run(&Tavola::cmdExit_Click);
        break;
    case Box_::Question:
        t->run(&Tavola::Next_Click);
        break;
    }

    auto count = [&](const QString &end) {
        return std::count_if(p.boxes.begin(), p.boxes.end(), [&](const Box &b) { return b.text.endsWith(end); });
    };
    const auto farewells = count(QStringLiteral("Ciao a presto!"));
    if (timeRunsOut) {
        QCOMPARE(farewells, 1);
        QCOMPARE(p.quits, QList<int>{0});
        QVERIFY(t->hasEnded());
        // A handler that waited in its box returns without scoring.
        QCOMPARE(t->vars().score, scoreBefore);
        const int painted = t->gradientsPainted();
        const QString clock = t->label("lblconto")->caption();
        QTest::qWait(200);
        QCOMPARE(t->gradientsPainted(), painted);
        QCOMPARE(t->label("lblconto")->caption(), clock);
        QCOMPARE(p.prompts.size(), 1);  // the question's Yes/No never reloads
    } else {
        QCOMPARE(farewells, 0);
        QVERIFY(p.quits.isEmpty());
        // The clock went on behind the box.
        QVERIFY(t->label("lblconto")->caption() != clockBefore);
        if (which == Box_::Warning) {
            QCOMPARE(int(t->vars().score), scoreBefore - 4);
            QCOMPARE(t->label("Punteggio")->caption(), QString::number(scoreBefore - 4));
        }
    }
    // Only the farewell may open over a box that was waiting.
    QCOMPARE(maxOpen, timeRunsOut && which != Box_::Farewell ? 2 : 1);
}

QTEST_MAIN(TestReentry)
#include "test_reentry.moc"
