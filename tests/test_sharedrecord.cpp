// The record shared with other games, other players and other folders, as
// only a Linux machine can set it up: a folder that takes no new files,
// links of another user. Every test here is a
// machine check of its own (tests/CMakeLists.txt).
#include "support.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vortana;
using namespace vortana::test;

namespace {
const QString kSaved = QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\"");
}  // namespace

class TestSharedRecord : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void sharedFolder_data();
    void sharedFolder();
    void othersLink_data();
    void othersLink();
    void linkedGame();
};

void TestSharedRecord::sharedFolder_data()
{
    QTest::addColumn<QString>("how");       // "chattr" (+i) or "mode" (no write permission)
    QTest::addColumn<bool>("linked");       // the data folder holds links to the files in it
    QTest::addColumn<QByteArray>("names");  // the name file before the game; null: missing
    QTest::addColumn<QString>("error");
    QTest::newRow("immutable") << "chattr" << false << QByteArray("Vecchio\r\n") << "";
    QTest::newRow("immutable, name file missing") << "chattr" << false << QByteArray() << "la cartella non accetta nuovi file";
    QTest::newRow("not writable") << "mode" << false << QByteArray("Vecchio\r\n") << "";
    QTest::newRow("not writable, linked to") << "mode" << true << QByteArray("Vecchio\r\n") << "";
    // The points file can take 3 bytes only, as on a full disk: the name waits for the points.
    QTest::newRow("not writable, points file full") << "mode, full" << false << QByteArray("Vecchio\r\n") << "avortana.txt\"";
}

// A folder that takes no new files while its two files stay writable, as a
// shared score folder, used directly or through links: the record is
// written in place.
void TestSharedRecord::sharedFolder()
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
    QVERIFY(!error.isEmpty() || p.boxes.last().text == kSaved);
    if (full)
        QCOMPARE(fileBytes(namePath(p)), names);
    else
        QCOMPARE(fileBytes(pointsPath(p)) + fileBytes(namePath(p)), error.isEmpty() ? QByteArray(" 5\r\n\r\n") : QByteArray(" 3\r\n"));
    QCOMPARE(QFileInfo(pointsPath(p)).isSymLink() && QFileInfo(namePath(p)).isSymLink(), linked);
}

void TestSharedRecord::othersLink_data()
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
void TestSharedRecord::othersLink()
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
void TestSharedRecord::linkedGame()
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

QTEST_MAIN(TestSharedRecord)
#include "test_sharedrecord.moc"
