// The end of a game: the clock running out, the exit routine with the
// record it may save, and a new game rebuilding the window.
#include "support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QPointer>
#include <QTest>

#include <sys/mount.h>

using namespace vortana;
using namespace vortana::test;

namespace {

const QString kFarewell = QStringLiteral("                      Ciao a presto!");
const QString kSaved = QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\"");

QStringList texts(const QList<Box> &boxes)
{
    QStringList out;
    for (const Box &b : boxes)
        out << b.text;
    return out;
}

}  // namespace

class TestEndgame : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void clockRunsOut();
    void exitRoutine_data();
    void exitRoutine();
    void nameNotPlaced();
    void twoGamesOneRecord();
    void lockedRecord_data();
    void lockedRecord();
    void holdLock();
    void newGame();
};

void TestEndgame::clockRunsOut()
{
    FakePlatform p;
    auto t = startGame(p);
    // Ticks by hand from a fresh clock; the real timer must not add any.
    t->StartClock();
    t->timer("Timer1")->stop();
    const QMap<int, QString> shown{{1, "00:14:59"}, {60, "00:14:00"}, {61, "00:13:59"},
                                   {891, "00:00:09"}, {900, "00:00:00"}};
    for (int tick = 1; tick <= 900; ++tick) {
        t->run(&Tavola::Timer1_Timer);
        if (shown.contains(tick))
            QCOMPARE(t->label("lblconto")->caption(), shown[tick]);
    }
    QVERIFY(p.quits.isEmpty());
    t->run(&Tavola::Timer1_Timer);
    QCOMPARE(texts(p.boxes).count(kFarewell), 1);
    QCOMPARE(p.quits, QList<int>{0});
    QCOMPARE(t->label("lblconto")->caption(), QStringLiteral("00:00:00"));
}

void TestEndgame::exitRoutine_data()
{
    QTest::addColumn<QByteArray>("points");
    QTest::addColumn<QString>("score");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("nameBytes");  // empty: nothing saved
    QTest::addColumn<bool>("blocked");          // a folder where the name file goes
    QTest::newRow("first run, 0") << QByteArray() << "0" << "Anna" << QByteArray() << false;
    QTest::newRow("first run, 1") << QByteArray() << " 1" << "Anna" << QByteArray("Anna\r\n") << false;
    QTest::newRow("first run, -4") << QByteArray() << "-4" << "Anna" << QByteArray() << false;
    QTest::newRow("-4 beaten by -3") << QByteArray("-4\r\n") << "-3" << "Anna" << QByteArray("Anna\r\n") << false;
    QTest::newRow("equal") << QByteArray(" 12\r\n") << " 12" << "Anna" << QByteArray() << false;
    QTest::newRow("letters count 0, 1") << QByteArray("abc\r\n") << " 1" << "Anna" << QByteArray("Anna\r\n") << false;
    QTest::newRow("empty name") << QByteArray() << " 2" << "" << QByteArray("\r\n") << false;
    QTest::newRow("cp1252, '?' outside it, SUB kept")
        << QByteArray() << " 2" << QStringLiteral("è €Ж😀x\x1a") << QByteArray("\xE8 \x80??x\x1a\r\n") << false;
    QTest::newRow("write fails") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray() << true;
}

void TestEndgame::exitRoutine()
{
    QFETCH(QByteArray, points);
    QFETCH(QString, score);
    QFETCH(QString, name);
    QFETCH(QByteArray, nameBytes);
    QFETCH(bool, blocked);
    const bool saved = !nameBytes.isEmpty();
    FakePlatform p;
    const QByteArray oldName = points.isEmpty() ? QByteArray() : QByteArray("Vecchio\r\n");
    QDir().mkpath(p.data);
    writeBytes(pointsPath(p), points);
    writeBytes(namePath(p), oldName);
    auto t = startGame(p, name);
    if (blocked)
        QVERIFY(QFile::remove(namePath(p)) && QDir().mkdir(namePath(p)));
    t->label("Punteggio")->setCaption(score);
    const qsizetype before = p.boxes.size();
    t->run(&Tavola::cmdExit_Click);

    QCOMPARE(p.quits, QList<int>{blocked ? 1 : 0});
    QCOMPARE(p.errors.size(), blocked ? 1 : 0);
    QVERIFY2(!blocked || p.errors[0].contains(QStringLiteral("/vortana.txt")), qPrintable(p.errors.value(0)));
    QCOMPARE(texts(p.boxes.mid(before)), (saved ? QStringList{kFarewell, kSaved} : QStringList{kFarewell}));
    QCOMPARE(fileBytes(pointsPath(p)), saved ? score.toLatin1() + "\r\n" : points);
    if (!blocked)
        QCOMPARE(fileBytes(namePath(p)), saved ? nameBytes : oldName);
    // No half-written file left about.
    QCOMPARE(QDir(p.data).entryList(QDir::Files | QDir::Hidden).size(), blocked ? 1 : 2);
}

// The new points are in place when the name file can't be: the old points
// go back, so the record never pairs them with the old holder. A file
// mounted on the name file refuses the rename; CTest runs this in a mount
// namespace of its own (record_rollback).
void TestEndgame::nameNotPlaced()
{
    if (!qEnvironmentVariableIsSet("VORTANA_PRIVATE_MOUNTS"))
        QSKIP("needs a mount namespace of its own");
    FakePlatform p;
    QDir().mkpath(p.data);
    writeBytes(pointsPath(p), " 3\r\n");
    writeBytes(namePath(p), "Vecchio\r\n");
    auto t = startGame(p, QStringLiteral("Anna"));
    const QByteArray path = QFile::encodeName(namePath(p));
    QCOMPARE(::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr), 0);
    t->label("Punteggio")->setCaption(QStringLiteral(" 5"));
    t->run(&Tavola::cmdExit_Click);
    const QByteArray holder = fileBytes(namePath(p));
    ::umount(path.constData());

    QCOMPARE(p.quits, QList<int>{1});
    QVERIFY2(p.errors.size() == 1 && p.errors[0].contains(QStringLiteral("/vortana.txt")), qPrintable(p.errors.join(u'|')));
    QCOMPARE(texts(p.boxes).last(), kFarewell);
    QCOMPARE(fileBytes(pointsPath(p)), QByteArray(" 3\r\n"));
    QCOMPARE(holder, QByteArray("Vecchio\r\n"));
    QCOMPARE(QDir(p.data).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

// Two games of one player share the record. The one that ends last still
// shows the record as it was when it began, and must not save below the
// score the other has saved meanwhile.
void TestEndgame::twoGamesOneRecord()
{
    FakePlatform a, b;
    b.data = a.data;
    QDir().mkpath(a.data);
    writeBytes(pointsPath(a), "-4\r\n");
    auto gameB = startGame(b, QStringLiteral("Bea"));
    auto gameA = startGame(a, QStringLiteral("Anna"));
    gameA->label("Punteggio")->setCaption(QStringLiteral(" 1"));
    gameA->run(&Tavola::cmdExit_Click);
    QCOMPARE(gameB->label("Punteggio")->caption(), QStringLiteral("0"));
    gameB->run(&Tavola::cmdExit_Click);

    QCOMPARE(fileBytes(pointsPath(a)) + fileBytes(namePath(a)), QByteArray(" 1\r\nAnna\r\n"));
    QCOMPARE(texts(a.boxes).last(), kSaved);
    QCOMPARE(texts(b.boxes).last(), kFarewell);
    QVERIFY(a.quits == QList<int>{0} && b.quits == QList<int>{0});
}

void TestEndgame::lockedRecord_data()
{
    QTest::addColumn<bool>("crashed");
    QTest::newRow("held by a game saving") << false;
    QTest::newRow("left by a crashed game") << true;
}

// Another process holds the record's lock (holdLock, below): a live holder
// is waited for, a dead one's lock is taken over at once.
void TestEndgame::lockedRecord()
{
    QFETCH(bool, crashed);
    FakePlatform p;
    QDir().mkpath(p.data);
    const QString lockPath = p.data + QLatin1String(kLockFile);
    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VORTANA_HOLD_LOCK"), lockPath);
    holder.setProcessEnvironment(env);
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("holdLock")});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(lockPath).size() > 0, 20000);
    if (crashed) {
        holder.kill();
        QVERIFY(holder.waitForFinished());
        QVERIFY(QFile::exists(lockPath));
    }
    auto t = startGame(p, QStringLiteral("Anna"));
    t->label("Punteggio")->setCaption(QStringLiteral(" 2"));
    QElapsedTimer waited;
    waited.start();
    t->run(&Tavola::cmdExit_Click);
    const qint64 ms = waited.elapsed();
    QVERIFY2(crashed ? ms < 1000 : ms >= 1000, qPrintable(QString::number(ms)));
    QCOMPARE(p.quits, QList<int>{0});
    QCOMPARE(fileBytes(pointsPath(p)) + fileBytes(namePath(p)), QByteArray(" 2\r\nAnna\r\n"));
    QVERIFY(!QFile::exists(lockPath));
    holder.waitForFinished();
}

// The other game: holds the lock for 2.5 s, under the name its process has.
void TestEndgame::holdLock()
{
    const QString path = qEnvironmentVariable("VORTANA_HOLD_LOCK");
    if (path.isEmpty())
        QSKIP("run by lockedRecord only");
    QCoreApplication::setApplicationName(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    QLockFile lock(path);
    QVERIFY(lock.lock());
    QTest::qSleep(2500);
}

void TestEndgame::newGame()
{
    FakePlatform p;
    auto t = startGame(p);
    const QPoint home = t->target(Target::paricmd)->pos();
    t->run(&Tavola::Form_Click);
    t->label("lblconto")->setCaption(QStringLiteral("00:12:34"));
    t->moveTarget(Target::paricmd, 3, 4);
    t->vars().disparicmd2Number = 1234;
    t->label("Punteggio")->setCaption(QStringLiteral(" 20"));
    QPointer<QWidget> oldButton = t->control("paricmd");
    QPointer<QAction> oldNext = t->menuItem("Next");
    const int painted = t->gradientsPainted();

    // No (the default answer) leaves the game as it was.
    t->run(&Tavola::Next_Click);
    QCOMPARE(t->label("lblconto")->caption(), QStringLiteral("00:12:34"));
    QVERIFY(t->timer("Timer1")->isActive() && t->timer("Timer2")->isActive());
    QCOMPARE(t->targetPosition(Target::paricmd), QPoint(3, 4));

    // Yes from the menu, whose action goes with the old window.
    writeBytes(pointsPath(p), " 30\r\n");  // someone else saved a record meanwhile
    QString captionAtPrompt;
    bool timersOffAtPrompt = false;
    p.onPrompt = [&] {
        captionAtPrompt = t->target(Target::disparicmd1)->text();
        timersOffAtPrompt = !t->timer("Timer1")->isActive() && !t->timer("Timer2")->isActive();
    };
    p.answer = [](const Box &b) { return b.style & YesNo ? AnswerYes : AnswerOk; };
    oldNext->trigger();

    QCOMPARE(captionAtPrompt, QStringLiteral("63"));
    QVERIFY(timersOffAtPrompt);
    QCOMPARE(t->label("lblconto")->caption(), QStringLiteral("00:15:00"));
    QVERIFY(!t->timer("Timer2")->isActive());
    QCOMPARE(t->target(Target::paricmd)->pos(), home);
    QCOMPARE(t->label("lblpunti")->caption(), QStringLiteral(" 30\r\n"));
    QVERIFY(waitActivated(*t));
    QTRY_VERIFY(oldButton.isNull() && oldNext.isNull());
    QCOMPARE(t->vars().disparicmd2Number, std::int16_t(1234));
    // Load and activation repaint; the creation's repaint is not repeated.
    QTest::qWait(100);
    QCOMPARE(t->gradientsPainted(), painted + 2);
    QVERIFY(t->menuItem("Next") && t->isVisible());
    QVERIFY(p.quits.isEmpty() && p.errors.isEmpty());
}

QTEST_MAIN(TestEndgame)
#include "test_endgame.moc"
