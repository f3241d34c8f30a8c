// The end of a game: the clock running out, the exit routine with the
// record it may save, a new game rebuilding the window, and both timers
// ticking behind each modal box.
#include "support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QPointer>
#include <QScopeGuard>
#include <QTest>

#include <sys/mount.h>

using namespace vortana;
using namespace vortana::test;

using Handler = void (Tavola::*)();
Q_DECLARE_METATYPE(Handler)

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
    void twoGamesOneRecord_data();
    void twoGamesOneRecord();
    void immutableFolder_data();
    void immutableFolder();
    void lockedRecord_data();
    void lockedRecord();
    void holdLock();
    void newGame();
    void ticksBehindBoxes_data();
    void ticksBehindBoxes();
    void errorStopsTheGame_data();
    void errorStopsTheGame();
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
    QTest::addColumn<QString>("fault");         // what keeps the record from being written
    QTest::addColumn<QString>("error");         // what the error message names
    QTest::newRow("first run, 0") << QByteArray() << "0" << "Anna" << QByteArray() << "" << "";
    QTest::newRow("first run, 1") << QByteArray() << " 1" << "Anna" << QByteArray("Anna\r\n") << "" << "";
    QTest::newRow("first run, -4") << QByteArray() << "-4" << "Anna" << QByteArray() << "" << "";
    QTest::newRow("-4 beaten by -3") << QByteArray("-4\r\n") << "-3" << "Anna" << QByteArray("Anna\r\n") << "" << "";
    QTest::newRow("equal") << QByteArray(" 12\r\n") << " 12" << "Anna" << QByteArray() << "" << "";
    QTest::newRow("+5 not beaten by 5") << QByteArray("+5\r\n") << " 5" << "Anna" << QByteArray() << "" << "";
    QTest::newRow("letters count 0, 1") << QByteArray("abc\r\n") << " 1" << "Anna" << QByteArray("Anna\r\n") << "" << "";
    QTest::newRow("empty name") << QByteArray() << " 2" << "" << QByteArray("\r\n") << "" << "";
    QTest::newRow("cp1252 to its last byte, '?' outside it, SUB kept")
        << QByteArray() << " 2" << QStringLiteral("è €Жÿ😀x\x1a") << QByteArray("\xE8 \x80?\xFF?x\x1a\r\n") << "" << "";
    QTest::newRow("name file a folder") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray() << "folder" << "/vortana.txt";
    // Only a mount makes the name file's rename fail once the new points are
    // in place: they must go back, or they would pair with the old holder.
    // CTest runs this row in a mount namespace of its own (record_rollback).
    QTest::newRow("mounted") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray() << "mount" << "/vortana.txt";
    // A small file system of its own, filled up (record_rollback too).
    QTest::newRow("full disk") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray() << "full" << "disco pieno";
}

void TestEndgame::exitRoutine()
{
    QFETCH(QByteArray, points);
    QFETCH(QString, score);
    QFETCH(QString, name);
    QFETCH(QByteArray, nameBytes);
    QFETCH(QString, fault);
    QFETCH(QString, error);
    const bool saved = !nameBytes.isEmpty(), failed = !fault.isEmpty(), folder = fault == QLatin1String("folder");
    const bool mounted = fault == QLatin1String("mount"), full = fault == QLatin1String("full");
    if (mounted || full)
        MACHINE_CHECK();
    FakePlatform p;
    const QByteArray disk = QFile::encodeName(p.tmp.filePath(QStringLiteral("share")));
    if (full)
        QVERIFY(QDir().mkpath(p.tmp.filePath(QStringLiteral("share"))) && ::mount("tmpfs", disk.constData(), "tmpfs", 0, "size=64k") == 0);
    const auto unmount = qScopeGuard([&] {
        if (full)
            ::umount(disk.constData());
    });
    const QByteArray oldName = points.isEmpty() ? QByteArray() : QByteArray("Vecchio\r\n");
    QDir().mkpath(p.data);
    writeBytes(pointsPath(p), points);
    writeBytes(namePath(p), oldName);
    auto t = startGame(p, name);
    const QByteArray nameFile = QFile::encodeName(namePath(p));
    if (folder)
        QVERIFY(QFile::remove(namePath(p)) && QDir().mkdir(namePath(p)));
    else if (mounted)
        QCOMPARE(::mount(nameFile.constData(), nameFile.constData(), nullptr, MS_BIND, nullptr), 0);
    else if (full)
        writeBytes(QString::fromLocal8Bit(disk) + QStringLiteral("/pieno"), QByteArray(1 << 20, 'x'));
    t->label("Punteggio")->setCaption(score);
    const qsizetype before = p.boxes.size();
    t->run(&Tavola::cmdExit_Click);
    const QByteArray holder = fileBytes(namePath(p));
    if (mounted)
        ::umount(nameFile.constData());

    QCOMPARE(p.quits, QList<int>{failed ? 1 : 0});
    QCOMPARE(p.errors.size(), failed ? 1 : 0);
    QVERIFY2(!failed || p.errors[0].contains(error), qPrintable(p.errors.value(0)));
    QCOMPARE(texts(p.boxes.mid(before)), (saved ? QStringList{kFarewell, kSaved} : QStringList{kFarewell}));
    QCOMPARE(fileBytes(pointsPath(p)), saved ? score.toLatin1() + "\r\n" : points);
    if (!folder)
        QCOMPARE(holder, saved ? nameBytes : oldName);
    // No half-written file left about.
    QCOMPARE(QDir(p.data).entryList(QDir::Files | QDir::Hidden).size(), folder ? 1 : 2);
}

void TestEndgame::twoGamesOneRecord_data()
{
    QTest::addColumn<bool>("cut");
    QTest::newRow("the other saved") << false;
    QTest::newRow("the other's save cut short after its journal") << true;
}

// Two games of one player share the record. The one that ends last still
// shows the record as it was when it began, and must not save below the
// score the other has saved meanwhile, even one only in a journal.
void TestEndgame::twoGamesOneRecord()
{
    QFETCH(bool, cut);
    FakePlatform a, b;
    b.data = a.data;
    QDir().mkpath(a.data);
    writeBytes(pointsPath(a), "-4\r\n");
    auto gameB = startGame(b, QStringLiteral("Bea"));
    auto gameA = startGame(a, QStringLiteral("Anna Bea"));  // a journal line of 10 bytes
    gameA->label("Punteggio")->setCaption(QStringLiteral(" 1"));
    if (cut)
        writeBytes(a.data + QLatin1String("/vortana.journal"),
                   "vortana-journal-1 4 10\n 1\r\nAnna Bea\r\n74209e6788dbc297615c630e68ab169481eac09f97362f7501dd98a22e159a81\n");
    else
        gameA->run(&Tavola::cmdExit_Click);
    gameB->run(&Tavola::cmdExit_Click);

    QCOMPARE(fileBytes(pointsPath(a)) + fileBytes(namePath(a)), QByteArray(" 1\r\nAnna Bea\r\n"));
    QCOMPARE(QDir(a.data).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QCOMPARE(texts(b.boxes).last(), kFarewell);
    QCOMPARE(b.quits, QList<int>{0});
}

void TestEndgame::immutableFolder_data()
{
    QTest::addColumn<QByteArray>("names");  // the name file before the game; null: missing
    QTest::addColumn<QString>("error");
    QTest::newRow("both files there") << QByteArray("Vecchio\r\n") << "";
    QTest::newRow("name file missing") << QByteArray() << "la cartella non accetta nuovi file";
}

// A folder that takes no new files while its two files stay writable, as a
// shared score folder: the record is written in place, its lock kept elsewhere.
void TestEndgame::immutableFolder()
{
    QFETCH(QByteArray, names);
    QFETCH(QString, error);
    MACHINE_CHECK();
    // On the disk: tmpfs may not know the attribute.
    QTemporaryDir disk(QDir::currentPath() + QStringLiteral("/immutable-XXXXXX"));
    FakePlatform p;
    p.data = disk.filePath(QStringLiteral("vortana"));
    QVERIFY(QDir().mkpath(p.data));
    writeBytes(pointsPath(p), " 3\r\n");
    if (!names.isNull())
        writeBytes(namePath(p), names);
    QCOMPARE(QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), p.data}), 0);
    const auto unfreeze = qScopeGuard([&] { QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), p.data}); });
    Tavola t(p, Rng::shared());
    t.start();
    if (error.isEmpty()) {
        QVERIFY(waitActivated(t));
        t.label("Punteggio")->setCaption(QStringLiteral(" 5"));
        t.run(&Tavola::cmdExit_Click);
    }

    QVERIFY2(error.isEmpty() ? p.errors.isEmpty() : p.errors.size() == 1 && p.errors[0].contains(error), qPrintable(p.errors.join(u'\n')));
    QCOMPARE(p.quits, QList<int>{error.isEmpty() ? 0 : 1});
    QVERIFY(!error.isEmpty() || texts(p.boxes).last() == kSaved);
    QCOMPARE(fileBytes(pointsPath(p)) + fileBytes(namePath(p)), error.isEmpty() ? QByteArray(" 5\r\n\r\n") : QByteArray(" 3\r\n"));
}

void TestEndgame::lockedRecord_data()
{
    QTest::addColumn<QString>("holder");
    QTest::newRow("a game saving") << "saving";
    QTest::newRow("a crashed game") << "crashed";
    // A game on another machine sharing the home folder: whether it still
    // runs can't be known, so its lock is taken over once stale, which
    // must come before the wait for it gives up.
    QTest::newRow("a game on another machine") << "elsewhere";
}

// Another process holds the record's lock (holdLock, below): a live holder
// is waited for, a dead one's lock is taken over at once.
void TestEndgame::lockedRecord()
{
    QFETCH(QString, holder);
    FakePlatform p;
    QDir().mkpath(p.data);
    const QString lockPath = recordLockPath(p.data);
    QProcess other;
    if (holder == QLatin1String("elsewhere")) {
        writeBytes(lockPath, "4242\nvortana\naltro-computer\n");
    } else {
        startChild(other, "holdLock", lockPath);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(lockPath).size() > 0, 20000);
    }
    if (holder == QLatin1String("crashed")) {
        other.kill();
        QVERIFY(other.waitForFinished());
    }
    auto t = startGame(p, QStringLiteral("Anna"));
    t->label("Punteggio")->setCaption(QStringLiteral(" 2"));
    QElapsedTimer waited;
    waited.start();
    t->run(&Tavola::cmdExit_Click);
    const qint64 ms = waited.elapsed();
    QVERIFY2(holder == QLatin1String("crashed") ? ms < 1000 : ms >= 1000, qPrintable(QString::number(ms)));
    QCOMPARE(p.errors, QStringList());
    QCOMPARE(p.quits, QList<int>{0});
    QCOMPARE(fileBytes(pointsPath(p)) + fileBytes(namePath(p)), QByteArray(" 2\r\nAnna\r\n"));
    QVERIFY(!QFile::exists(lockPath));
    other.waitForFinished();
}

// The other game: holds the lock for 2.5 s, under the name its process has.
void TestEndgame::holdLock()
{
    const QString path = childArgument();
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
    t->vars().score = 20;
    QPointer<QWidget> oldButton = t->control("paricmd");
    QPointer<QAction> oldNext = t->menuItem("Next");
    QPointer<QTimer> oldClock = t->timer("Timer1");
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
    // Every unload throws its controls, menus and timers away.
    QTRY_VERIFY(oldButton.isNull() && oldNext.isNull() && oldClock.isNull());
    QCOMPARE(t->vars().disparicmd2Number, std::int16_t(1234));
    // Load and activation repaint; the creation's repaint is not repeated.
    QTest::qWait(100);
    QCOMPARE(t->gradientsPainted(), painted + 2);
    // The new game's first hit counts from 0.
    t->target(Target::paricmd)->show();
    QTest::mouseClick(t->target(Target::paricmd), Qt::LeftButton);
    QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral(" 1"));
    QVERIFY(p.quits.isEmpty() && p.errors.isEmpty());
}

// Both timers ticking behind each of the game's modal boxes: the buttons
// keep moving, nothing may run twice, a click scores once, and nothing runs
// after the end.
void TestEndgame::ticksBehindBoxes_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<QString>("box");       // the end of the text of the box it waits in
    QTest::addColumn<bool>("timeRunsOut");  // while that box waits
    const QString warning = QStringLiteral("divisibile per 11"), question = QStringLiteral("GARA  ?");
    QTest::newRow("warning") << Handler(&Tavola::disparicmd_Click) << warning << false;
    QTest::newRow("warning, time runs out") << Handler(&Tavola::disparicmd_Click) << warning << true;
    QTest::newRow("farewell from the button") << Handler(&Tavola::cmdExit_Click) << QStringLiteral("presto!") << true;
    QTest::newRow("record confirmation") << Handler(&Tavola::cmdExit_Click) << QStringLiteral("N E\"") << true;
    QTest::newRow("new-game question") << Handler(&Tavola::Next_Click) << question << false;
    QTest::newRow("new-game question, time runs out") << Handler(&Tavola::Next_Click) << question << true;
}

void TestEndgame::ticksBehindBoxes()
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
    if (box.endsWith(u'"'))
        t->label("Punteggio")->setCaption(QStringLiteral(" 5"));  // beats the empty record
    const std::int16_t scoreBefore = t->vars().score;
    const QString clockBefore = t->label("lblconto")->caption();
    int boxesOpen = 0, maxOpen = 0;
    bool moved = false;
    p.answer = [&](const Box &b) {
        maxOpen = std::max(maxOpen, ++boxesOpen);
        if (b.text.endsWith(box)) {
            // Only a movement step shows a target again.
            for (int i = 0; i < kTargets; ++i)
                t->target(Target(i))->hide();
            QTest::qWait(200);
            for (int i = 0; i < kTargets; ++i)
                moved = moved || t->target(Target(i))->isVisible();
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

    QVERIFY(moved);  // the buttons go on jumping behind every box
    const auto farewells = std::ranges::count_if(p.boxes, [](const Box &b) { return b.text.endsWith(u"Ciao a presto!"); });
    if (timeRunsOut) {
        QCOMPARE(farewells, 1);
        QCOMPARE(p.quits, QList<int>{0});
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

// A run-time error stops the game: behind its report no timer ticks and no
// game code runs, however long the report stays open, and the status is 1.
void TestEndgame::errorStopsTheGame_data()
{
    QTest::addColumn<bool>("atLoad");
    QTest::newRow("record folder can't be created, clock started") << true;
    QTest::newRow("name file a folder, buttons moving") << false;
}

void TestEndgame::errorStopsTheGame()
{
    QFETCH(bool, atLoad);
    FakePlatform p;
    Tavola t(p, Rng::shared());
    p.onError = [&] {
        // Time is up and ticks come fast: a tick behind the report would show.
        t.label("lblconto")->setCaption(QStringLiteral("00:00:00"));
        for (int i = 0; i < kTargets; ++i)
            t.target(Target(i))->hide();
        t.timer("Timer1")->setInterval(10);
        t.timer("Timer2")->setInterval(10);
        QEventLoop report;
        QTimer::singleShot(500, &report, &QEventLoop::quit);
        report.exec();
    };
    if (atLoad) {  // the record folder can't be made under a file
        writeBytes(p.tmp.path() + QStringLiteral("/blocker"), "x");
        p.data = p.tmp.path() + QStringLiteral("/blocker/vortana");
    }
    t.start();
    if (!atLoad) {
        QVERIFY(waitActivated(t));
        t.run(&Tavola::Form_Click);
        QVERIFY(QFile::remove(namePath(p)) && QDir().mkdir(namePath(p)));
        t.label("Punteggio")->setCaption(QStringLiteral(" 5"));
        t.run(&Tavola::cmdExit_Click);
    }
    QVERIFY(p.errors.size() == 1 && !t.isVisible());
    QCOMPARE(p.quits, QList<int>{1});
    QCOMPARE(texts(p.boxes).count(kFarewell), atLoad ? 0 : 1);
    QCOMPARE(t.label("lblconto")->caption(), QStringLiteral("00:00:00"));
    for (int i = 0; i < kTargets; ++i)
        QVERIFY(t.target(Target(i))->isHidden());
}

QTEST_MAIN(TestEndgame)
#include "test_endgame.moc"
