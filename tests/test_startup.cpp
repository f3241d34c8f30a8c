// Start-up: the order of creation, load, display and activation, the
// prompt and greeting, and the record files as start-up leaves them.
#include "support.h"

#include <QTest>

using namespace vortana;
using namespace vortana::test;

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void effectiveOrder();
};

void TestStartup::effectiveOrder()
{
    FakePlatform p;
    p.names = {QStringLiteral("abc")};
    bool timersOffAtPrompt = false;
    Tavola *game = nullptr;
    p.onPrompt = [&] {
        timersOffAtPrompt = !game->timer("Timer1")->isActive() && !game->timer("Timer2")->isActive();
    };
    Tavola t(p, Rng::shared());
    game = &t;
    t.start();
    // Load (one gradient) and creation (another) ran before display.
    QCOMPARE(t.gradientsPainted(), 2);
    QVERIFY(timersOffAtPrompt);
    QCOMPARE(p.boxes.size(), 1);
    QCOMPARE(p.boxes[0].text, QStringLiteral(" abc vediamo se sei un vero campione  "));
    QCOMPARE(p.boxes[0].title, QStringLiteral("Vortana"));
    QVERIFY(t.target(Target::paricmd)->text().isEmpty());
    QVERIFY(waitActivated(t));
    QCOMPARE(t.gradientsPainted(), 3);
    QCOMPARE(t.label("Punteggio")->caption(), QStringLiteral("0"));
    QCOMPARE(t.label("lblconto")->caption(), QStringLiteral("00:15:00"));
    QCOMPARE(t.label("lblnome1")->caption(), QStringLiteral("abc"));
    QVERIFY(t.timer("Timer1")->isActive());
    QVERIFY(!t.timer("Timer2")->isActive());
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
