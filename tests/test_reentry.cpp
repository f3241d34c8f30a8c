// Both timers ticking behind each of the game's modal boxes: nothing may
// run twice, a click scores once, and nothing runs after the end.
#include "support.h"

#include <QTest>

using namespace vortana;
using namespace vortana::test;

using Handler = void (Tavola::*)();
Q_DECLARE_METATYPE(Handler)

class TestReentry : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void ticksBehindBoxes_data();
    void ticksBehindBoxes();
};

void TestReentry::ticksBehindBoxes_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<QString>("box");       // the end of the text of the box it waits in
    QTest::addColumn<bool>("timeRunsOut");  // while that box waits
    const QString warning = QStringLiteral("divisibile per 11"), question = QStringLiteral("GARA  ?");
    QTest::newRow("warning") << Handler(&Tavola::disparicmd_Click) << warning << false;
    QTest::newRow("warning, time runs out") << Handler(&Tavola::disparicmd_Click) << warning << true;
    QTest::newRow("farewell from the button") << Handler(&Tavola::cmdExit_Click) << QStringLiteral("presto!") << true;
    QTest::newRow("new-game question") << Handler(&Tavola::Next_Click) << question << false;
    QTest::newRow("new-game question, time runs out") << Handler(&Tavola::Next_Click) << question << true;
}

void TestReentry::ticksBehindBoxes()
{
    QFETCH(Handler, handler);
    QFETCH(QString, box);
    QFETCH(bool, timeRunsOut);

    FakePlatform p;
    auto t = startGame(p);
    t->run(&Tavola::Form_Click);
    // Ticks come fast so that a few hundred milliseconds behind a box hold
    // many of them.
    t->timer("Timer1")->setInterval(20);
    t->timer("Timer2")->setInterval(20);
    const std::int16_t scoreBefore = t->vars().score;
    const QString clockBefore = t->label("lblconto")->caption();
    int boxesOpen = 0, maxOpen = 0;
    p.answer = [&](const Box &b) {
        maxOpen = std::max(maxOpen, ++boxesOpen);
        if (b.text.endsWith(box)) {
            if (timeRunsOut) {
                t->vars().clockMinutes = 0;
                t->vars().clockSeconds = 0;
                t->label("lblconto")->setCaption(QStringLiteral("00:00:00"));
            }
            QTest::qWait(400);
        }
        --boxesOpen;
        return b.style & YesNo ? AnswerNo : AnswerOk;
    };
    t->run(handler);

    const auto farewells = std::ranges::count_if(p.boxes, [](const Box &b) { return b.text.endsWith(u"Ciao a presto!"); });
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
        if (handler == Handler(&Tavola::disparicmd_Click))
            QCOMPARE(t->label("Punteggio")->caption(), QString::number(scoreBefore - 4));
    }
    // Only the farewell may open over a box that was waiting.
    QCOMPARE(maxOpen, timeRunsOut && handler != Handler(&Tavola::cmdExit_Click) ? 2 : 1);
}

QTEST_MAIN(TestReentry)
#include "test_reentry.moc"
