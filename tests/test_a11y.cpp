// What a screen reader gets from the game through Qt's accessibility:
// the read-outs, buttons, menus and warnings under the texts the player
// sees, and buttons an assistive tool can press.
#include "support.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace vortana;
using namespace vortana::test;

namespace {

QAccessibleInterface *iface(QObject *o)
{
    QAccessibleInterface *i = QAccessible::queryAccessibleInterface(o);
    return i && i->isValid() ? i : nullptr;
}

QString nameOf(QObject *o)
{
    QAccessibleInterface *i = iface(o);
    return i ? i->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

// The first descendant with the given role, depth first.
QAccessibleInterface *findRole(QAccessibleInterface *root, QAccessible::Role role)
{
    for (int c = 0; root && c < root->childCount(); ++c) {
        QAccessibleInterface *child = root->child(c);
        if (!child)
            continue;
        if (child->role() == role)
            return child;
        if (QAccessibleInterface *found = findRole(child, role))
            return found;
    }
    return nullptr;
}

QAccessibleInterface *childNamed(QAccessibleInterface *parent, const QString &name)
{
    for (int c = 0; parent && c < parent->childCount(); ++c)
        if (QAccessibleInterface *child = parent->child(c); child && child->text(QAccessible::Name) == name)
            return child;
    return nullptr;
}

QStringList childNames(QAccessibleInterface *parent)
{
    QStringList names;
    for (int c = 0; parent && c < parent->childCount(); ++c)
        if (QAccessibleInterface *child = parent->child(c))
            names.append(child->text(QAccessible::Name));
    return names;
}

bool press(QObject *o)
{
    QAccessibleInterface *i = iface(o);
    QAccessibleActionInterface *a = i ? i->actionInterface() : nullptr;
    if (!a || !a->actionNames().contains(QAccessibleActionInterface::pressAction()))
        return false;
    a->doAction(QAccessibleActionInterface::pressAction());
    return true;
}

// A game with its clock held, so the read-outs keep still while we look.
std::unique_ptr<Tavola> quietGame(FakePlatform &p, const QString &name = QStringLiteral("Tester"))
{
    auto t = startGame(p, name);
    t->timer("Timer1")->stop();
    t->timer("Timer2")->stop();
    return t;
}

}  // namespace

class TestA11y : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void labelsReadTheirText_data();
    void labelsReadTheirText();
    void scoreAndClockFollowPlay();
    void buttons();
    void pressingTargets();
    void menus();
    void missWarning();
};

void TestA11y::labelsReadTheirText_data()
{
    QTest::addColumn<QByteArray>("points");
    QTest::addColumn<QByteArray>("holder");
    QTest::addColumn<QString>("player");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("spoken");

    QTest::newRow("score at start") << QByteArray() << QByteArray() << "Tester" << "Punteggio" << "0";
    QTest::newRow("clock at start") << QByteArray() << QByteArray() << "Tester" << "lblconto" << "00:15:00";
    // A record file's CR LF reaches the screen as a line break, not as a
    // stray carriage return a reader would spell out.
    QTest::newRow("record points") << QByteArray(" 12\r\n") << QByteArray("Giulia\r\n") << "Tester" << "lblpunti"
                                   << " 12\n";
    QTest::newRow("record holder") << QByteArray(" 12\r\n") << QByteArray("Giulia\r\n") << "Tester" << "lblnome"
                                   << "Giulia\n";
    QTest::newRow("no record yet") << QByteArray() << QByteArray() << "Tester" << "lblpunti" << "";
    // Labels show "&" as typed; it must not be eaten as an access key.
    QTest::newRow("player with ampersand") << QByteArray() << QByteArray() << "Tom & Jerry" << "lblnome1"
                                           << "Tom & Jerry";
    QTest::newRow("holder with ampersand") << QByteArray("5\r\n") << QByteArray("R&B\r\n") << "Tester" << "lblnome"
                                           << "R&B\n";
    QTest::newRow("static text") << QByteArray() << QByteArray() << "Tester" << "Label11" << "Tempo restante";
    QTest::newRow("record line") << QByteArray() << QByteArray() << "Tester" << "Label12" << "Il record  è di ";
}

void TestA11y::labelsReadTheirText()
{
    QFETCH(QByteArray, points);
    QFETCH(QByteArray, holder);
    QFETCH(QString, player);
    QFETCH(QString, label);
    QFETCH(QString, spoken);

    FakePlatform p;
    QVERIFY(QDir().mkpath(p.data));
    writeBytes(p.data + QStringLiteral("/avortana.txt"), points);
    writeBytes(p.data + QStringLiteral("/vortana.txt"), holder);
    auto t = quietGame(p, player);

    Label *l = t->label(label.toStdString());
    QVERIFY(l);
    QAccessibleInterface *i = iface(l);
    QVERIFY(i);
    QCOMPARE(i->role(), QAccessible::StaticText);
    QCOMPARE(i->text(QAccessible::Name), spoken);
    QVERIFY(!i->state().invisible);
}

void TestA11y::scoreAndClockFollowPlay()
{
    FakePlatform p;
    auto t = quietGame(p);
    Label *score = t->label("Punteggio");
    Label *clock = t->label("lblconto");

    // A reader asks again after each change and must hear the new text.
    t->run(&Tavola::paricmd_Click);
    QCOMPARE(nameOf(score), QStringLiteral(" 1"));
    t->run(&Tavola::disparicmd_Click);
    QCOMPARE(nameOf(score), QStringLiteral("-3"));
    t->run(&Tavola::paricmd1_Click);
    QCOMPARE(nameOf(score), QStringLiteral(" -2"));

    t->run(&Tavola::Timer1_Timer);
    QCOMPARE(nameOf(clock), QStringLiteral("00:14:59"));
    for (int i = 0; i < 60; ++i)
        t->run(&Tavola::Timer1_Timer);
    QCOMPARE(nameOf(clock), QStringLiteral("00:13:59"));
}

void TestA11y::buttons()
{
    FakePlatform p;
    auto t = quietGame(p);

    QAccessibleInterface *window = iface(t.get());
    QVERIFY(window);
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Vortana"));

    t->target(Target::paricmd)->show();
    t->target(Target::disparicmd1)->show();
    for (int n = 0; n < kTargets; ++n) {
        FlatButton *b = t->target(Target(n));
        QAccessibleInterface *i = iface(b);
        QVERIFY2(i, b->objectName().toUtf8());
        // FlatButton is a QAbstractButton, so Qt's own button interface serves it.
        QCOMPARE(i->role(), QAccessible::Button);
        QVERIFY(!b->text().isEmpty());
        QCOMPARE(i->text(QAccessible::Name), b->text());
        // Hidden targets are still in the tree, marked so a reader skips them.
        QCOMPARE(bool(i->state().invisible), b->isHidden());
    }

    QAccessibleInterface *exit = iface(t->button("cmdExit"));
    QVERIFY(exit);
    QCOMPARE(exit->role(), QAccessible::Button);
    QCOMPARE(exit->text(QAccessible::Name), QStringLiteral("Exit"));
    QCOMPARE(exit->text(QAccessible::Accelerator).toLower(), QStringLiteral("alt+x"));
    QCOMPARE(exit->text(QAccessible::Description), QStringLiteral("Ti prego resta ancora, forse riuscirai a farmi uscire "));

    QAccessibleInterface *next = iface(t->button("cmdNext"));
    QVERIFY(next);
    QCOMPARE(next->text(QAccessible::Name), QStringLiteral("Clicca per iniziare"));
    QVERIFY(next->state().disabled);
}

void TestA11y::pressingTargets()
{
    FakePlatform p;
    auto t = quietGame(p);
    FlatButton *hit = t->target(Target::paricmd2);
    FlatButton *hidden = t->target(Target::paricmd1);

    // A hidden target is never scored, whoever presses it.
    QVERIFY(hidden->isHidden());
    // The press is animated: the click lands about 100 ms later.
    QVERIFY(press(hidden));
    QTest::qWait(1000);
    QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral("0"));
    QVERIFY(p.sounds.isEmpty());

    hit->show();
    QVERIFY(press(hit));
    QTRY_COMPARE_WITH_TIMEOUT(t->label("Punteggio")->caption(), QStringLiteral(" 1"), 10000);
    QVERIFY(hit->isHidden());
    QCOMPARE(p.sounds.size(), 1);
}

void TestA11y::menus()
{
    FakePlatform p;
    auto t = quietGame(p);
    QAccessibleInterface *bar = findRole(iface(t.get()), QAccessible::MenuBar);
    QVERIFY(bar);
    const QStringList top = childNames(bar);
    QVERIFY2(top.contains(QStringLiteral("Nuovo gioco")), qPrintable(top.join(u'|')));
    QCOMPARE(top.size(), 4);

    QAccessibleInterface *help = childNamed(bar, QStringLiteral("Help"));
    QVERIFY(help);
    QCOMPARE(help->role(), QAccessible::MenuItem);
    QCOMPARE(help->childCount(), 1);
    QAccessibleInterface *drop = help->child(0);
    QVERIFY(drop);
    QCOMPARE(drop->role(), QAccessible::PopupMenu);
    QCOMPARE(childNames(drop),
             QStringList({QStringLiteral("Ciao campione, mi raccomando colpisci solo i multipli del numero 11"),
                          QStringLiteral("Ogni errore  ti farà perdere 4 punti."),
                          QStringLiteral("Un numero è divisibile per 11 se la differenza (in valore assoluto)  tra la "
                                         "somma delle cifre di posto dispari e quella di posto pari è 0 oppure un "
                                         "multiplo di 11 "),
                          QStringLiteral("Es 165 è divisibile per 11 ed infatti (1+5) -6=0")}));

    // Every other entry opens a drop-down with lines of its own to read.
    for (int c = 0; c < bar->childCount(); ++c) {
        QAccessibleInterface *entry = bar->child(c);
        const QString caption = entry->text(QAccessible::Name);
        QVERIFY(!caption.isEmpty());
        if (caption == QLatin1String("Nuovo gioco"))
            continue;
        QVERIFY2(entry->childCount() == 1, qPrintable(caption));
        QVERIFY2(entry->child(0)->childCount() >= 1, qPrintable(caption));
        QVERIFY(!entry->child(0)->child(0)->text(QAccessible::Name).isEmpty());
    }

    // "Nuovo gioco" can be chosen from the tree: the confirmation comes up.
    QAccessibleInterface *next = childNamed(bar, QStringLiteral("Nuovo gioco"));
    QVERIFY(next && next->actionInterface());
    next->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(p.boxes.size(), 2);  // greeting, then the question
    QCOMPARE(p.boxes.last().text, QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"));
}

void TestA11y::missWarning()
{
    FakePlatform p;
    QtPlatform real;
    auto t = quietGame(p);
    FlatButton *miss = t->target(Target::disparicmd1);
    const QString number = miss->text();
    const QString warning = QStringLiteral("Attenzione! Hai sbagliato:  ") + number +
                            QStringLiteral(" non è  un numero divisibile per 11");

    // The game's warning goes up as a real message box; while it is open we
    // read it the way a screen reader would and close it with its button.
    QString role, name, value;
    QStringList texts;
    bool closedByPress = false;
    p.answer = [&](const Box &box) {
        QTimer poll;
        poll.setInterval(50);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!shown)
                return;
            poll.stop();
            if (QAccessibleInterface *i = iface(shown)) {
                role = QString::fromLatin1(qAccessibleRoleString(i->role()));
                name = i->text(QAccessible::Name);
                value = i->text(QAccessible::Value);
                for (int c = 0; c < i->childCount(); ++c)
                    if (i->child(c)->role() == QAccessible::StaticText && !i->child(c)->state().invisible)
                        texts.append(i->child(c)->text(QAccessible::Name));
            }
            if (QAbstractButton *ok = shown->button(QMessageBox::Ok))
                closedByPress = press(ok);
            if (!closedByPress)
                shown->done(0);
        });
        poll.start();
        QTimer::singleShot(20000, [] {
            if (QWidget *w = QApplication::activeModalWidget())
                w->close();
        });
        return real.msgBox(t.get(), box.text, box.style, box.title);
    };

    miss->show();
    QVERIFY(press(miss));
    QTRY_COMPARE_WITH_TIMEOUT(p.boxes.size(), 2, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(miss->isHidden(), 10000);
    QCOMPARE(p.boxes.last().text, warning);
    QCOMPARE(role, QStringLiteral("AlertMessage"));
    QCOMPARE(name, QStringLiteral("Vortana"));
    QCOMPARE(value, warning);
    QCOMPARE(texts, QStringList{warning});
    QVERIFY(closedByPress);
    QCOMPARE(nameOf(t->label("Punteggio")), QStringLiteral("-4"));
}

QTEST_MAIN(TestA11y)
#include "test_a11y.moc"
