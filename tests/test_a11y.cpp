// What a screen reader gets through Qt's accessibility: the texts the
// player sees, and nothing scored for a hidden target a tool presses.
#include "support.h"

#include <QAccessible>
#include <QApplication>
#include <QMenuBar>
#include <QTest>

using namespace vortana;
using namespace vortana::test;

static QAccessibleInterface *iface(QObject *o) { return QAccessible::queryAccessibleInterface(o); }

static QString nameOf(QObject *o) { return iface(o) ? iface(o)->text(QAccessible::Name) : QStringLiteral("<none>"); }

// Every name under an interface, depth first; menu items with their drop-downs.
static QStringList namesBelow(QAccessibleInterface *i)
{
    QStringList names;
    for (int c = 0; i && c < i->childCount(); ++c)
        names << i->child(c)->text(QAccessible::Name) << namesBelow(i->child(c));
    names.removeAll(QString());  // the drop-downs themselves have none
    return names;
}

class TestA11y : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }

    void visibleTextsAreNames()
    {
        FakePlatform p;
        auto t = startGame(p);
        for (int n = 0; n < kTargets; ++n)  // all numbered by now
            QCOMPARE(nameOf(t->target(Target(n))), t->target(Target(n))->text());
        QCOMPARE(nameOf(t->label("Punteggio")), QStringLiteral("0"));
        QCOMPARE(nameOf(t->label("lblconto")), t->label("lblconto")->caption());  // the clock may have ticked
        // A reader asks again after each change and must hear the new text.
        t->run(&Tavola::disparicmd_Click);
        t->run(&Tavola::Timer1_Timer);
        QCOMPARE(nameOf(t->label("Punteggio")), QStringLiteral("-4"));
        QCOMPARE(nameOf(t->label("lblconto")), t->label("lblconto")->caption());
        // A record's CR LF is read as a line break, not a stray character; "&" is no access key.
        t->label("lblnome")->setCaption(QStringLiteral("R&B\r\n"));
        QCOMPARE(nameOf(t->label("lblnome")), QStringLiteral("R&B\n"));

        QStringList seen;
        for (const MenuSpec &m : kMenu)
            seen << QString::fromUtf8(m.caption.data(), qsizetype(m.caption.size()));
        QCOMPARE(namesBelow(iface(t->menuBar())), seen);
    }

    void messageBoxIsRead()
    {
        FakePlatform p;
        QtPlatform real;
        auto t = startGame(p);
        QStringList heard;
        // While the game's real box is open, read it as a reader would, then close it.
        p.answer = [&](const Box &box) {
            QTimer::singleShot(0, [&] {
                QWidget *shown = QApplication::activeModalWidget();
                heard << nameOf(shown) << namesBelow(iface(shown));
                shown->close();
            });
            return real.msgBox(t.get(), box.text, box.style, box.title);
        };
        const QString warning = QStringLiteral("Attenzione! Hai sbagliato:  ") + t->target(Target::disparicmd1)->text() +
                                QStringLiteral(" non è  un numero divisibile per 11");
        t->run(&Tavola::disparicmd1_Click);
        QCOMPARE(heard, QStringList({QStringLiteral("Vortana"), warning, QStringLiteral("OK")}));
    }

    void hiddenTargetPressDoesNotScore()
    {
        FakePlatform p;
        auto t = startGame(p);
        FlatButton *b = t->target(Target::paricmd1);
        QVERIFY(b->isHidden() && iface(b) && iface(b)->actionInterface());
        // The press is animated: the click lands about 100 ms later.
        iface(b)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTest::qWait(1000);
        QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral("0"));
        QVERIFY(p.sounds.isEmpty());
        b->show();  // the same press on a shown target does score
        iface(b)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE_WITH_TIMEOUT(t->label("Punteggio")->caption(), QStringLiteral(" 1"), 10000);
    }
};

QTEST_MAIN(TestA11y)
#include "test_a11y.moc"
