// The end of a game: the clock running out, the exit routine with the
// record it may save, a new game rebuilding the window, and both timers
// ticking behind each modal box (and behind none after an error: test_records).
#include "support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QTest>

#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void sharedFolder_data();
    void sharedFolder();
    void lockedRecord_data();
    void lockedRecord();
    void holdLock();
    void othersLink_data();
    void othersLink();
    void linkedGame();
    void newGame();
    void ticksBehindBoxes_data();
    void ticksBehindBoxes();
};

void TestEndgame::clockRunsOut()
{
    FakePlatform p;
    auto t = startGame(p);
    // Ticks by hand from a fresh clock; the real timer must not add any.
    t->StartClock();
    t->timer("Timer1")->stop();
    const QMap<int, QString> shown{{1, "00:14:59"}, {60, "00:14:00"}, {61, "00:13:59"}, {891, "00:00:09"}, {900, "00:00:00"}};
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
    QTest::addColumn<QString>("fault");         // what keeps the record from being written, or how the game ends if not by Exit
    QTest::addColumn<QString>("error");         // what the error message names; empty: no error
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::newRow("first run, 0") << QByteArray() << "0" << "Anna" << QByteArray() << "" << "";
    QTest::newRow("first run, 1") << QByteArray() << " 1" << "Anna" << QByteArray("Anna\r\n") << "" << "";
    QTest::newRow("first run, -4") << QByteArray() << "-4" << "Anna" << QByteArray() << "" << "";
    QTest::newRow("-4 beaten by -3") << QByteArray("-4\r\n") << "-3" << "Anna" << QByteArray("Anna\r\n") << "" << "";
    QTest::newRow("equal") << QByteArray(" 12\r\n") << " 12" << "Anna" << QByteArray() << "" << "";
    QTest::newRow("+5 not beaten by 5") << QByteArray("+5\r\n") << " 5" << "Anna" << QByteArray() << "" << "";
    // Closing the window runs the exit routine; the end of the desktop session
    // saves a better score with no box, in play or behind the farewell.
    QTest::newRow("window closed") << QByteArray("-4\r\n") << " 1" << "Anna" << QByteArray("Anna\r\n") << "close" << "";
    QTest::newRow("session ends in play") << QByteArray("-4\r\n") << " 1" << "Anna" << QByteArray("Anna\r\n") << "session" << "";
    QTest::newRow("session ends behind the farewell") << QByteArray("-4\r\n") << " 1" << "Anna" << QByteArray("Anna\r\n") << "farewell" << "";
    QTest::newRow("letters count 0, 1") << QByteArray("abc\r\n") << " 1" << "Anna" << QByteArray("Anna\r\n") << "" << "";
    QTest::newRow("empty name") << QByteArray() << " 2" << "" << QByteArray("\r\n") << "" << "";
    QTest::newRow("cp1252 to its last byte, '?' outside it, SUB kept")
        << QByteArray() << " 2" << QStringLiteral("è €Жÿ😀x\x1a") << QByteArray("\xE8 \x80?\xFF?x\x1a\r\n") << "" << "";
    // Only a mount makes the name file's rename fail once the new points are
    // in place: they must go back, or they would pair with the old holder.
    // CTest runs this row in a mount namespace of its own (record_rollback).
    QTest::newRow("mounted") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray() << "mount" << "/vortana.txt";
    QTest::newRow("mounted, first record") << QByteArray() << " 5" << "Anna" << QByteArray() << "mount" << "/vortana.txt";
    // Points first: a points file that can't be replaced leaves the name alone.
    QTest::newRow("points file mounted") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray() << "mount points" << "/avortana.txt";
    // A small file system of its own, filled up (record_rollback too).
    QTest::newRow("full disk") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray() << "full" << "disco pieno";
    // Files of the players' group, which is not the saver's own (record_group).
    QTest::newRow("group kept") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray("Anna\r\n") << "group" << "";
    // clang-format on
}

void TestEndgame::exitRoutine()
{
    QFETCH(QByteArray, points);
    QFETCH(QString, score);
    QFETCH(QString, name);
    QFETCH(QByteArray, nameBytes);
    QFETCH(QString, fault);
    QFETCH(QString, error);
    const bool group = fault == QLatin1String("group"), saved = !nameBytes.isEmpty(), failed = !error.isEmpty();
    const bool mounted = fault.startsWith(QLatin1String("mount")), full = fault == QLatin1String("full");
    if (mounted || full || group)
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
    t->run(&Tavola::Form_Click);
    p.answer = [&](const Box &b) {
        if (b.text == kFarewell && fault == QLatin1String("farewell"))
            t->endSession();
        return AnswerOk;
    };
    const QByteArray nameFile = QFile::encodeName(fault == QLatin1String("mount points") ? pointsPath(p) : namePath(p));
    gid_t players = gid_t(-1);
    if (group) {
        // One of the player's groups, other than the one new files get; root may take any.
        gid_t mine[NGROUPS_MAX];
        for (int i = ::getgroups(NGROUPS_MAX, mine); i-- > 0;)
            players = mine[i] != ::getegid() ? mine[i] : players;
        players = players == gid_t(-1) && ::geteuid() == 0 ? 4242 : players;
        for (const QString &f : {pointsPath(p), namePath(p)})
            QVERIFY(::chown(QFile::encodeName(f).constData(), uid_t(-1), players) == 0);
    }
    if (mounted)
        QCOMPARE(::mount(nameFile.constData(), nameFile.constData(), nullptr, MS_BIND, nullptr), 0);
    else if (full)
        writeBytes(QString::fromLocal8Bit(disk) + QStringLiteral("/pieno"), QByteArray(1 << 20, 'x'));
    t->label("Punteggio")->setCaption(score);
    const qsizetype before = p.boxes.size();
    if (fault == QLatin1String("close"))
        t->close();
    else
        fault == QLatin1String("session") ? t->endSession() : t->run(&Tavola::cmdExit_Click);
    const QByteArray holder = fileBytes(namePath(p));
    if (mounted)
        ::umount(nameFile.constData());

    QCOMPARE(p.quits, QList<int>{failed ? 1 : 0});
    QCOMPARE(p.errors.size(), failed ? 1 : 0);
    QVERIFY2(!failed || p.errors[0].contains(error), qPrintable(p.errors.value(0)));
    QCOMPARE(texts(p.boxes.mid(before)), QStringList({kFarewell, kSaved}).first(fault == QLatin1String("session") ? 0 : (saved && fault != QLatin1String("farewell") ? 2 : 1)));
    QCOMPARE(fileBytes(pointsPath(p)), saved ? score.toLatin1() + "\r\n" : points);
    QCOMPARE(holder, saved ? nameBytes : oldName);
    QCOMPARE(QDir(p.data).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QVERIFY(!group || (QFileInfo(pointsPath(p)).groupId() == players && QFileInfo(namePath(p)).groupId() == players));
    QVERIFY(!t->isVisible() && !t->timer("Timer2")->isActive());
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
    QVERIFY(texts(b.boxes).last() == kFarewell && b.quits == QList<int>{0});
}

void TestEndgame::sharedFolder_data()
{
    QTest::addColumn<QString>("how");       // "chattr" (+i) or "mode" (no write permission)
    QTest::addColumn<bool>("linked");       // the data folder holds links to the files in it
    QTest::addColumn<QByteArray>("names");  // the name file before the game; null: missing
    QTest::addColumn<QString>("error");
    QTest::newRow("immutable") << "chattr" << false << QByteArray("Vecchio\r\n") << "";
    QTest::newRow("immutable, name file missing") << "chattr" << false << QByteArray() << "la cartella non accetta nuovi file";
    QTest::newRow("immutable, linked to") << "chattr" << true << QByteArray("Vecchio\r\n") << "";
    QTest::newRow("not writable") << "mode" << false << QByteArray("Vecchio\r\n") << "";
    QTest::newRow("not writable, linked to") << "mode" << true << QByteArray("Vecchio\r\n") << "";
    // The points file can take 3 bytes only, as on a full disk: the name waits for the points.
    QTest::newRow("not writable, points file full") << "mode, full" << false << QByteArray("Vecchio\r\n") << "avortana.txt\"";
}

// A folder that takes no new files while its two files stay writable, as a
// shared score folder, used directly or through links: the record is
// written in place.
void TestEndgame::sharedFolder()
{
    QFETCH(QString, how);
    QFETCH(bool, linked);
    QFETCH(QByteArray, names);
    QFETCH(QString, error);
    MACHINE_CHECK();
    // On the disk: tmpfs may not know the attribute.
    QTemporaryDir disk(QDir::currentPath() + QStringLiteral("/shared-XXXXXX"));
    const QString shared = disk.filePath(QStringLiteral("punteggi"));
    FakePlatform p;
    p.data = linked ? disk.filePath(QStringLiteral("vortana")) : shared;
    QVERIFY(QDir().mkpath(shared) && QDir().mkpath(p.data));
    writeBytes(shared + QLatin1String(kPointsFile), " 3\r\n");
    if (!names.isNull())
        writeBytes(shared + QLatin1String(kNameFile), names);
    for (const char *f : {kPointsFile, kNameFile})
        QVERIFY(!linked || QFile::link(shared + QLatin1String(f), p.data + QLatin1String(f)));
    const QByteArray folder = QFile::encodeName(shared);
    const bool full = how.endsWith(QLatin1String("full"));
    if (how.startsWith(QLatin1String("mode"))) {
        // Binds only a player other than root (run in a user namespace as one).
        QCOMPARE(::chmod(folder.constData(), 0555), 0);
        QVERIFY(::access(folder.constData(), W_OK) != 0);
    } else {
        QCOMPARE(QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), shared}), 0);
    }
    const auto unfreeze = qScopeGuard([&] {
        ::chmod(folder.constData(), 0755);
        if (how == QLatin1String("chattr"))
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), shared});
    });
    Tavola t(p, Rng::shared());
    t.start();
    if (error.isEmpty() || full) {
        QVERIFY(waitActivated(t));
        t.label("Punteggio")->setCaption(QStringLiteral(" 5"));
        struct rlimit unlimited;
        ::getrlimit(RLIMIT_FSIZE, &unlimited);
        const struct rlimit small = {3, unlimited.rlim_max};
        if (full && (::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &small) != 0))
            QFAIL("no file size limit");
        t.run(&Tavola::cmdExit_Click);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
    }

    QVERIFY2(error.isEmpty() ? p.errors.isEmpty() : p.errors.size() == 1 && p.errors[0].contains(error), qPrintable(p.errors.join(u'\n')));
    QCOMPARE(p.quits, QList<int>{error.isEmpty() ? 0 : 1});
    QVERIFY(!error.isEmpty() || texts(p.boxes).last() == kSaved);
    if (full)
        QCOMPARE(fileBytes(namePath(p)), names);
    else
        QCOMPARE(fileBytes(pointsPath(p)) + fileBytes(namePath(p)), error.isEmpty() ? QByteArray(" 5\r\n\r\n") : QByteArray(" 3\r\n"));
    QCOMPARE(QFileInfo(pointsPath(p)).isSymLink() && QFileInfo(namePath(p)).isSymLink(), linked);
}

void TestEndgame::lockedRecord_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<int>("waits");  // at least this long, in ms; 0: under a second
    QTest::addColumn<QString>("error");
    // The holder runs with another runtime folder, or with none.
    QTest::newRow("a live game") << "live" << 2000 << "";
    QTest::newRow("a live game of another user") << "user" << 2000 << "";
    QTest::newRow("a dead game") << "dead" << 0 << "";
    // It holds the file for 1 s, puts a new one in its place and holds that
    // for 2 s more: a lock on the old file keeps no one out.
    QTest::newRow("a game that replaced the file") << "replace" << 2800 << "";
    QTest::newRow("a game that outlives the wait") << "long" << 15000 << "in uso da un'altra partita";
}

// Another game, in a process of its own (holdLock, below), holds the
// record's lock, a kernel lock on the points file: a live holder is waited
// for, a dead one keeps no one waiting.
void TestEndgame::lockedRecord()
{
    QFETCH(QString, holder);
    QFETCH(int, waits);
    QFETCH(QString, error);
    MACHINE_CHECK();
    FakePlatform p;
    auto t = startGame(p, QStringLiteral("Anna"));
    QProcess other;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    holder == QLatin1String("live") ? env.insert(QStringLiteral("XDG_RUNTIME_DIR"), p.tmp.path()) : env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    other.setProcessEnvironment(env);
    startChild(other, "holdLock", holder + u'|' + pointsPath(p),
               holder == QLatin1String("user") ? QStringList{QStringLiteral("unshare"), QStringLiteral("--map-user=1000"), QStringLiteral("--map-group=1000")} : QStringList());
    QByteArray said;
    while (!said.contains("held\n") && other.waitForReadyRead(20000))
        said += other.readAllStandardOutput();
    QVERIFY(said.contains("held\n"));
    if (holder == QLatin1String("dead")) {
        other.kill();
        QVERIFY(other.waitForFinished());
    }
    t->label("Punteggio")->setCaption(QStringLiteral(" 2"));
    QElapsedTimer waited;
    waited.start();
    t->run(&Tavola::cmdExit_Click);
    const qint64 ms = waited.elapsed();
    QVERIFY2(waits ? ms >= waits : ms < 1000, qPrintable(QString::number(ms)));
    QVERIFY2(error.isEmpty() ? p.errors.isEmpty() : p.errors.size() == 1 && p.errors[0].contains(error), qPrintable(p.errors.join(u'\n')));
    QCOMPARE(p.quits, QList<int>{error.isEmpty() ? 0 : 1});
    QCOMPARE(fileBytes(pointsPath(p)) + fileBytes(namePath(p)), error.isEmpty() ? QByteArray(" 2\r\nAnna\r\n") : QByteArray());
    other.kill();
    other.waitForFinished();
}

namespace {
int lockWhole(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    return fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &whole) == 0 ? fd : -1;
}
}  // namespace

void TestEndgame::holdLock()
{
    const QStringList how = childArgument().split(u'|');
    if (how.size() != 2)
        QSKIP("run by lockedRecord only");
    const int fd = lockWhole(how[1]);
    QVERIFY(fd >= 0);
    std::fputs("held\n", stdout);
    std::fflush(stdout);
    if (how[0] == QLatin1String("replace")) {
        QTest::qSleep(1000);
        writeBytes(how[1] + QStringLiteral(".new"), " 1\r\n");
        QVERIFY(lockWhole(how[1] + QStringLiteral(".new")) >= 0);
        QCOMPARE(::rename(QFile::encodeName(how[1] + QStringLiteral(".new")).constData(), QFile::encodeName(how[1]).constData()), 0);
        ::close(fd);
    }
    QTest::qSleep(how[0] == QLatin1String("long") ? 17000 : 2000);
}

void TestEndgame::othersLink_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("another's link to a file of mine, at start-up") << "diary";
    QTest::newRow("another's dangling link, at start-up") << "missing";
    QTest::newRow("another's link swapped in during play, at the save") << "swap";
    QTest::newRow("my own chain of links") << "own";
}

// A shared score folder open to a group (set-group-ID, not sticky) where
// another player (uid 4242, unmapped in the game's user namespace) puts a
// link of theirs to a file of the player's. The game stops and names the
// link; the file it leads to stays as it was, a missing one missing.
void TestEndgame::othersLink()
{
    QFETCH(QString, how);
    MACHINE_CHECK();
    const bool own = how == QLatin1String("own");
    QTemporaryDir root;
    const QString shared = root.filePath(QStringLiteral("punteggi")), data = root.filePath(QStringLiteral("vortana")),
                  mine = root.filePath(QStringLiteral("mio/")), other = shared + (how == QLatin1String("swap") ? "/altro" : kPointsFile);
    QVERIFY(QDir().mkpath(shared) && QDir().mkpath(data) && QDir().mkpath(mine) && ::chmod(QFile::encodeName(shared).constData(), 02777) == 0);
    writeBytes(mine + QStringLiteral("diario.txt"), "-9 appunti segreti\r\n");
    writeBytes(shared + kNameFile, "Vecchio\r\n");
    if (how == QLatin1String("swap"))
        writeBytes(shared + kPointsFile, "-9\r\n");
    QVERIFY(QFile::link(mine + (how == QLatin1String("missing") ? "nuovo.txt" : "diario.txt"), own ? mine + "uno" : other)
            && (!own || QFile::link(mine + "uno", other)) && (own || ::lchown(QFile::encodeName(other).constData(), 4242, 4242) == 0));
    for (const char *f : {kPointsFile, kNameFile})
        QVERIFY(QFile::link(shared + f, data + f));
    QProcess game;
    startChild(game, "linkedGame", how + u'|' + data, {QStringLiteral("unshare"), QStringLiteral("--map-user=1000"), QStringLiteral("--map-group=1000")});
    QVERIFY(game.waitForFinished(60000));
    const QString said = QString::fromLocal8Bit(game.readAllStandardOutput() + game.readAllStandardError());
    QVERIFY2(game.exitCode() == 0 && said.contains(own ? QStringLiteral("quits 0\n\n") : QStringLiteral("quits 1\nImpossibile seguire il collegamento \"%1\": appartiene a un altro utente\n").arg(shared + kPointsFile)), qPrintable(said));
    QCOMPARE(fileBytes(mine + "diario.txt") + fileBytes(shared + kNameFile), own ? QByteArray(" 5\r\nAnna\r\n") : QByteArray("-9 appunti segreti\r\nVecchio\r\n"));
    QCOMPARE(QDir(mine).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"diario.txt"} + (own ? QStringList{"uno"} : QStringList()));
}

// The player's game for othersLink, in a user namespace of its own.
void TestEndgame::linkedGame()
{
    const QStringList how = childArgument().split(u'|');
    if (how.size() != 2)
        QSKIP("run by othersLink only");
    FakePlatform p;
    p.data = how[1];
    Tavola t(p, Rng::shared());
    t.start();
    if (p.errors.isEmpty() && waitActivated(t)) {
        const QByteArray shared = QFile::encodeName(how[1] + "/../punteggi");
        QVERIFY(how[0] != QLatin1String("swap") || ::rename(shared + "/altro", shared + kPointsFile) == 0);
        t.label("Punteggio")->setCaption(QStringLiteral(" 5"));
        t.label("lblnome1")->setCaption(QStringLiteral("Anna"));
        t.run(&Tavola::cmdExit_Click);
    }
    std::printf("quits %d\n%s\n", int(p.quits.value(0, -1)), qPrintable(p.errors.join(u'\n')));
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
    QString atPrompt;                      // the caption, and whether a timer ticks
    p.onPrompt = [&] {
        atPrompt = t->target(Target::disparicmd1)->text() + (t->timer("Timer1")->isActive() || t->timer("Timer2")->isActive() ? " ticking" : "");
    };
    p.answer = [](const Box &b) { return b.style & YesNo ? AnswerYes : AnswerOk; };
    oldNext->trigger();

    QCOMPARE(atPrompt, QStringLiteral("63"));
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
    QCOMPARE(texts(p.boxes).count(kFarewell), int(timeRunsOut));
    QCOMPARE(p.quits, QList<int>(timeRunsOut, 0));
    if (timeRunsOut) {
        // A handler that waited in its box returns without scoring.
        QCOMPARE(t->vars().score, scoreBefore);
        const QString after = t->label("lblconto")->caption() + QString::number(t->gradientsPainted());
        QTest::qWait(200);
        QCOMPARE(t->label("lblconto")->caption() + QString::number(t->gradientsPainted()), after);
        QCOMPARE(p.prompts.size(), 1);  // the question's Yes/No never reloads
    } else {
        QVERIFY(t->label("lblconto")->caption() != clockBefore);
        if (handler == Handler(&Tavola::disparicmd_Click))
            QCOMPARE(t->label("Punteggio")->caption(), QString::number(scoreBefore - 4));
    }
    // Only the farewell may open over a box that was waiting.
    QCOMPARE(maxOpen, timeRunsOut && handler != Handler(&Tavola::cmdExit_Click) ? 2 : 1);
}

QTEST_MAIN(TestEndgame)
#include "test_endgame.moc"
