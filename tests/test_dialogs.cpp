// The real dialogs of the desktop platform, answered the way a player
// would, and the program's end through the application's event loop.
#include "support.h"

#include "play/random.h"

#include <QApplication>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace vortana;
using namespace vortana::test;

namespace {

struct Seen {
    QString kind, title, text;
    int icon = -1;
    QStringList buttons;  // sorted, without mnemonics
    QString defaultButton;
};

QString plain(QString s) { return s.remove(QLatin1Char('&')); }

// Watches for modal dialogs: notes each one and hands it to the next
// action in line; with none left it closes the dialog, so that a test
// that goes wrong fails instead of hanging.
class Driver : public QObject {
public:
    using Action = std::function<void(QWidget *)>;
    QList<Action> actions;
    QList<Seen> seen;

    Driver()
    {
        connect(&poll_, &QTimer::timeout, this, &Driver::look);
        poll_.start(20);
    }

private:
    void look()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == last_)
            return;
        last_ = w;
        Seen s;
        s.title = w->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            s.kind = QStringLiteral("box");
            s.text = box->text();
            s.icon = box->icon();
            for (QAbstractButton *b : box->buttons())
                s.buttons << plain(b->text());
            s.buttons.sort();
            if (box->defaultButton())
                s.defaultButton = plain(box->defaultButton()->text());
        } else if (auto *prompt = qobject_cast<QInputDialog *>(w)) {
            s.kind = QStringLiteral("prompt");
            s.text = prompt->labelText();
        }
        seen.append(s);
        if (!actions.isEmpty())
            actions.takeFirst()(w);
        else if (auto *d = qobject_cast<QDialog *>(w))
            d->reject();
    }

    QTimer poll_;
    QPointer<QWidget> last_;
};

Driver::Action type(const QString &name)
{
    return [name](QWidget *w) {
        QTest::keyClicks(w->findChild<QLineEdit *>(), name);
        QTest::keyClick(w, Qt::Key_Return);
    };
}

Driver::Action press(Qt::Key key)
{
    return [key](QWidget *w) { QTest::keyClick(w, key); };
}

Driver::Action click(QMessageBox::StandardButton which)
{
    return [which](QWidget *w) { QTest::mouseClick(qobject_cast<QMessageBox *>(w)->button(which), Qt::LeftButton); };
}

const QString kGreeting = QStringLiteral(" vediamo se sei un vero campione  ");

}  // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void init();

    void wholeGameSavesRecord();
    void failedWriteEndsWithError();
    void cancelledPromptGivesEmptyName();
    void newGameBoxInItalian();
    void quitEndsEventLoop();

private:
    QString pointsPath() const { return data_ + QStringLiteral("/avortana.txt"); }
    QString namePath() const { return data_ + QStringLiteral("/vortana.txt"); }

    std::unique_ptr<QTemporaryDir> home_;
    QString data_;
};

void TestDialogs::init()
{
    // The desktop platform keeps the record in the user's data folder.
    home_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", home_->path().toUtf8());
    data_ = home_->path() + QStringLiteral("/vortana");
}

void TestDialogs::wholeGameSavesRecord()
{
    QDir().mkpath(data_);
    writeBytes(pointsPath(), "-5\r\n");
    QtPlatform platform;
    QCOMPARE(platform.dataDir(), data_);
    Driver d;
    d.actions = {type(QStringLiteral("Anna")), press(Qt::Key_Return), click(QMessageBox::Ok), press(Qt::Key_Return)};

    Tavola t(platform, Rng::shared());
    t.start();
    QVERIFY(!t.hasEnded());
    QVERIFY(waitActivated(t));
    QCOMPARE(t.label("lblnome1")->caption(), QStringLiteral("Anna"));
    QTimer::singleShot(0, t.button("cmdExit"), [&t] { QTest::mouseClick(t.button("cmdExit"), Qt::LeftButton); });
    QCOMPARE(QCoreApplication::exec(), 0);

    QVERIFY(t.hasEnded());
    QVERIFY(!t.isVisible());
    QCOMPARE(d.seen.size(), 4);
    QCOMPARE(d.seen[0].kind, QStringLiteral("prompt"));
    QCOMPARE(d.seen[0].title, QStringLiteral("Vortana"));
    QCOMPARE(d.seen[0].text, QStringLiteral("Come ti chiami?"));
    const QStringList texts{QStringLiteral(" Anna") + kGreeting, QStringLiteral("                      Ciao a presto!"),
                            QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\"")};
    for (int i = 1; i < 4; ++i) {
        QCOMPARE(d.seen[i].kind, QStringLiteral("box"));
        QCOMPARE(d.seen[i].text, texts[i - 1]);
        QCOMPARE(d.seen[i].title, QStringLiteral("Vortana"));
        QCOMPARE(d.seen[i].icon, int(QMessageBox::NoIcon));
        QCOMPARE(d.seen[i].buttons.size(), 1);
    }
    QCOMPARE(fileBytes(pointsPath()), QByteArray("0\r\n"));
    QCOMPARE(fileBytes(namePath()), QByteArray("Anna\r\n"));
}

void TestDialogs::failedWriteEndsWithError()
{
    QtPlatform platform;
    Driver d;
    d.actions = {type(QStringLiteral("Anna")), press(Qt::Key_Return), press(Qt::Key_Return), press(Qt::Key_Return)};
    Tavola t(platform, Rng::shared());
    t.start();
    QVERIFY(waitActivated(t));
    QVERIFY(QFile::remove(namePath()));
    QVERIFY(QDir().mkdir(namePath()));
    t.label("Punteggio")->setCaption(QStringLiteral(" 1"));
    QTimer::singleShot(0, t.button("cmdExit"), [&t] { t.button("cmdExit")->click(); });
    QCOMPARE(QCoreApplication::exec(), 1);

    QCOMPARE(d.seen.size(), 4);
    QCOMPARE(d.seen[3].icon, int(QMessageBox::Critical));
    QVERIFY2(d.seen[3].text.contains(QStringLiteral("/vortana.txt")), qPrintable(d.seen[3].text));
    QCOMPARE(fileBytes(pointsPath()), QByteArray());
}

void TestDialogs::cancelledPromptGivesEmptyName()
{
    QtPlatform platform;
    Driver d;
    d.actions = {press(Qt::Key_Escape), press(Qt::Key_Return)};
    Tavola t(platform, Rng::shared());
    t.start();
    QVERIFY(waitActivated(t));
    QCOMPARE(d.seen.size(), 2);
    QCOMPARE(d.seen[1].text, QLatin1Char(' ') + kGreeting);
    QCOMPARE(t.label("lblnome1")->caption(), QString());

    // Typed text does not survive a cancel either.
    d.actions = {[](QWidget *w) {
        QTest::keyClicks(w->findChild<QLineEdit *>(), QStringLiteral("Anna"));
        QTest::keyClick(w, Qt::Key_Escape);
    }};
    QCOMPARE(platform.inputBox(&t, QStringLiteral("Come ti chiami?"), QStringLiteral("Vortana")), QString());
    QCOMPARE(d.seen.size(), 3);
}

void TestDialogs::newGameBoxInItalian()
{
    QtPlatform platform;
    Driver d;
    d.actions = {type(QStringLiteral("Bea")), press(Qt::Key_Return)};
    Tavola t(platform, Rng::shared());
    t.start();
    QVERIFY(waitActivated(t));
    const QString clock = t.label("lblconto")->caption();
    QWidget *button = t.control("paricmd");

    // Return takes the default button: No.
    d.actions = {press(Qt::Key_Return)};
    t.run(&Tavola::Next_Click);

    QCOMPARE(d.seen.size(), 3);
    const Seen &box = d.seen[2];
    QCOMPARE(box.text, QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"));
    QCOMPARE(box.title, QStringLiteral("INIZIARE NUOVA GARA"));
    QCOMPARE(box.icon, int(QMessageBox::Question));
    QCOMPARE(box.buttons, (QStringList{QStringLiteral("No"), QStringLiteral("Sì")}));
    QCOMPARE(box.defaultButton, QStringLiteral("No"));
    QCOMPARE(t.control("paricmd"), button);
    QVERIFY(t.timer("Timer1")->isActive());
    QVERIFY(t.label("lblconto")->caption() <= clock);  // still counting down, not restarted

    // Yes starts afresh: the name is asked again.
    d.actions = {click(QMessageBox::Yes), type(QStringLiteral("Carla")), press(Qt::Key_Return)};
    t.run(&Tavola::Next_Click);
    QVERIFY(waitActivated(t));
    QCOMPARE(d.seen.size(), 6);
    QCOMPARE(d.seen[4].kind, QStringLiteral("prompt"));
    QCOMPARE(t.label("lblnome1")->caption(), QStringLiteral("Carla"));
    QVERIFY(!t.hasEnded());
}

void TestDialogs::quitEndsEventLoop()
{
    QtPlatform platform;
    QTimer::singleShot(0, [&platform] { platform.quit(3); });
    QCOMPARE(QCoreApplication::exec(), 3);
    QCOMPARE(platform.exitStatus(), 3);
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
