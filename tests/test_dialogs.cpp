// The real dialogs of the desktop platform, answered the way a player
// would, the program's end through the application's event loop, and what
// a screen reader gets through Qt's accessibility: the texts the player
// sees, and nothing scored for a hidden target a tool presses.
#include "support.h"

#include "play/random.h"

#include <QAccessible>
#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <deque>

using namespace vortana;
using namespace vortana::test;

namespace {

// title|label|longest name for a prompt; title|text|text format|icon|buttons
// for a box, "*" marking the default.
QString describe(QWidget *w)
{
    auto *box = qobject_cast<QMessageBox *>(w);
    if (!box)
        return w->windowTitle() + QLatin1Char('|') + qobject_cast<QInputDialog *>(w)->labelText() + QLatin1Char('|')
            + QString::number(w->findChild<QLineEdit *>()->maxLength());
    QStringList parts{w->windowTitle(), box->text(), QString::number(box->textFormat()), QString::number(box->icon())};
    for (QAbstractButton *b : box->buttons())
        parts << b->text().remove(QLatin1Char('&')) + (b == box->defaultButton() ? "*" : "");
    return parts.join(QLatin1Char('|'));
}

// Notes each modal dialog and hands it to the next action in line; with
// none left it rejects it, so that a test gone wrong fails instead of hanging.
struct Driver : QObject {
    // A deque: Qt 6.8's QList asserts (in a debug build) when a list that
    // takeFirst() emptied is assigned anew.
    std::deque<std::function<void(QWidget *)>> actions;
    QStringList seen;
    QTimer poll;
    QPointer<QWidget> last;

    Driver()
    {
        connect(&poll, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w || !w->isVisible() || w == last)
                return;
            last = w;
            seen << describe(w);
            if (!actions.empty()) {
                const auto action = std::move(actions.front());
                actions.pop_front();
                action(w);
            } else if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
        });
        poll.start(20);
    }
};

auto type(const QString &text, Qt::Key key)
{
    return [=](QWidget *w) {
        QTest::keyClicks(w->findChild<QLineEdit *>(), text);
        QTest::keyClick(w, key);
    };
}

QAccessibleInterface *iface(QObject *o) { return QAccessible::queryAccessibleInterface(o); }

QString nameOf(QObject *o) { return iface(o) ? iface(o)->text(QAccessible::Name) : QStringLiteral("<none>"); }

}  // namespace

class TestDialogs : public QObject {
    Q_OBJECT
    QTemporaryDir home_;
private slots:
    // The desktop platform keeps the record in the user's data folder: a scratch one.
    void initTestCase()
    {
        setUpApplication(*qApp);
        qputenv("XDG_DATA_HOME", home_.path().toUtf8());
    }

    void promptAndNewGameBox()
    {
        QtPlatform platform;
        Driver d;
        d.actions = {type(QStringLiteral("Anna"), Qt::Key_Escape)};  // typed, then cancelled
        Tavola t(platform, Rng::shared());
        t.start();
        QVERIFY(waitActivated(t));
        QCOMPARE(d.seen.value(0), QStringLiteral("Vortana|Come ti chiami?|32767"));
        QCOMPARE(t.label("lblnome1")->caption(), QString());
        d.actions = {[](QWidget *w) { QTest::keyClick(w, Qt::Key_Return); }};  // the default button
        t.run(&Tavola::Next_Click);
        QCOMPARE(d.seen.value(2), QStringLiteral("INIZIARE NUOVA GARA|INIZIAMO UNA NUOVA GARA  ?|%1|%2|Sì|No*").arg(Qt::PlainText).arg(QMessageBox::Question));
        d.actions = {[](QWidget *w) { qobject_cast<QMessageBox *>(w)->button(QMessageBox::Yes)->click(); }, type(QStringLiteral("Carla"), Qt::Key_Return)};
        t.run(&Tavola::Next_Click);
        QVERIFY(waitActivated(t));
        QCOMPARE(d.seen.size(), 6);
        QCOMPARE(t.label("lblnome1")->caption(), QStringLiteral("Carla"));
    }

    // A run-time error quotes paths and names the player controls: shown as
    // typed, never as markup.
    void errorBox()
    {
        QtPlatform platform;
        Driver d;
        platform.errorBox(nullptr, QStringLiteral("<b>R&B</b>"));
        QCOMPARE(d.seen.value(0), QStringLiteral("Vortana|Errore di esecuzione:\n<b>R&B</b>|%1|%2|OK").arg(Qt::PlainText).arg(QMessageBox::Critical));
    }

    // The targets' names are their numbers; a record's CR LF is read as a
    // line break, not a stray character; "&" is no access key. A hidden
    // target a tool presses scores nothing, a shown one does.
    void accessibility()
    {
        FakePlatform p;
        auto t = startGame(p);
        for (int n = 0; n < kTargets; ++n)  // all numbered by now
            QCOMPARE(nameOf(t->target(Target(n))), t->target(Target(n))->text());
        t->label("lblnome")->setCaption(QStringLiteral("R&B\r\n"));
        QCOMPARE(nameOf(t->label("lblnome")), QStringLiteral("R&B\n"));
        FlatButton *b = t->target(Target::paricmd1);
        QVERIFY(b->isHidden() && iface(b) && iface(b)->actionInterface());
        // The press is animated: the click lands about 100 ms later.
        iface(b)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTest::qWait(1000);
        QVERIFY(t->label("Punteggio")->caption() == QStringLiteral("0") && p.sounds.isEmpty());
        b->show();
        iface(b)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE_WITH_TIMEOUT(t->label("Punteggio")->caption(), QStringLiteral(" 1"), 10000);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
