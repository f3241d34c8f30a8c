// A long session in one process: many new games, movement steps and
// clicks. Under the sanitizer build this is where leaks and stale
// pointers of the game's own would show; here it also checks that
// nothing piles up between games.
#include "support.h"

#include <QTest>

using namespace vortana;
using namespace vortana::test;

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void longSession();
};

void TestSession::longSession()
{
    FakePlatform p;
    p.answer = [](const Box &b) { return b.style & YesNo ? AnswerYes : AnswerOk; };
    auto t = startGame(p);
    t->timer("Timer1")->setInterval(3600 * 1000);  // no exit half-way through
    const auto objectsAfterFirstGame = t->findChildren<QObject *>().size();

    constexpr int games = 1000, steps = 100000, clicks = 20000;
    for (int g = 0; g < games; ++g) {
        p.names.append(QStringLiteral("giocatore %1").arg(g));
        t->run(&Tavola::Next_Click);
        QVERIFY(waitActivated(*t));
        t->timer("Timer1")->setInterval(3600 * 1000);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Every unload must really throw its controls, menus and timers away.
    QCOMPARE(t->findChildren<QObject *>().size(), objectsAfterFirstGame);

    t->run(&Tavola::Form_Click);
    for (int s = 0; s < steps; ++s)
        t->run(&Tavola::Timer2_Timer);

    static constexpr void (Tavola::*handlers[])() = {&Tavola::paricmd_Click,    &Tavola::disparicmd_Click,
                                                     &Tavola::paricmd1_Click,   &Tavola::disparicmd1_Click,
                                                     &Tavola::paricmd2_Click,   &Tavola::disparicmd2_Click};
    for (int c = 0; c < clicks; ++c)
        t->run(handlers[c % 6]);
    QVERIFY(!t->hasEnded());
    QVERIFY(p.errors.isEmpty());
    QCOMPARE(t->findChildren<QObject *>().size(), objectsAfterFirstGame);
}

QTEST_MAIN(TestSession)
#include "test_session.moc"
