// The record files as start-up sees them: created when missing, never
// changed, read whole into the record labels, and the errors that stop the
// program when they can't be created or read.
#include "support.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>

#include <sys/inotify.h>
#include <unistd.h>

using namespace vortana;
using namespace vortana::test;

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void firstStartCreatesEmptyFiles();
    void existingFilesReadWhole_data();
    void existingFilesReadWhole();
    void failures_data();
    void failures();
    void savesPointsFirst();
    void killedWhileSaving();
    void saveForever();
};

void TestRecords::firstStartCreatesEmptyFiles()
{
    FakePlatform p;
    auto t = startGame(p);
    QVERIFY(p.errors.isEmpty());
    QCOMPARE(QDir(p.data).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("avortana.txt"), QStringLiteral("vortana.txt")}));
    QCOMPARE(QFileInfo(pointsPath(p)).size() + QFileInfo(namePath(p)).size(), 0);
    // The load takes the first free channel and gives every channel back.
    QCOMPARE(t->vars().fileNum, 1);
    QCOMPARE(t->channels().next(), 1);
}

void TestRecords::existingFilesReadWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("caption");  // null: one character per byte is all that is known
    QTest::addColumn<QString>("shown");    // the lines on screen
    QTest::addColumn<bool>("linked");  // the points file a link to one kept elsewhere

    QTest::newRow("hit record") << QByteArray(" 12\r\n") << " 12\r\n" << " 12\n" << false;
    QTest::newRow("cp1252 letters, SUB") << QByteArray("\xe8\x80\x1a\r\n") << "è€\x1a\r\n" << "è€\x1a\n" << false;
    QTest::newRow("euro the only one") << QByteArray("12 \x80\r\n") << "12 €\r\n" << "12 €\n" << false;
    QTest::newRow("several lines, lone CR, NUL") << QByteArray("a\r\nb\nc\rd\0e\r\n", 12) << QString::fromLatin1("a\r\nb\nc\rd\0e\r\n", 12)
                                                 << QString::fromLatin1("a\nb\nc\nd\0e\n", 10) << false;
    QTest::newRow("undefined in cp1252") << QByteArray("\x81\x8d\x8f\x90\x9d") << QString() << QString() << false;
    QTest::newRow("50 MiB, capped at 64 KiB") << QByteArray(50 << 20, '\xe8') << QString(65536, u'è') << QString(65536, u'è') << false;
    QTest::newRow("symlink") << QByteArray(" 21\r\n") << " 21\r\n" << " 21\n" << true;
}

// The name file holds "Nome " before the same bytes: each label must show its own file.
void TestRecords::existingFilesReadWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, caption);
    QFETCH(QString, shown);
    QFETCH(bool, linked);
    FakePlatform p;
    QVERIFY(QDir().mkpath(p.data));
    const QString elsewhere = p.tmp.filePath(QStringLiteral("altrove.txt"));
    writeBytes(linked ? elsewhere : pointsPath(p), bytes);
    QVERIFY(!linked || QFile::link(elsewhere, pointsPath(p)));
    const QByteArray nameBytes = "Nome " + bytes;
    writeBytes(namePath(p), nameBytes);
    auto t = startGame(p);

    QVERIFY(p.errors.isEmpty() && p.quits.isEmpty());
    const QString prefix = QStringLiteral("Nome ");
    for (const char *name : {"lblpunti", "lblnome"}) {
        const QString before = name == std::string_view("lblnome") ? prefix : QString();
        const Label *l = t->label(name);
        if (caption.isNull())
            QCOMPARE(l->caption().size(), before.size() + bytes.size());
        else  // as read, and as shown
            QCOMPARE(l->caption() + u'|' + l->text(), (before + caption).left(65536) + u'|' + (before + shown).left(65536));
    }
    QCOMPARE(fileBytes(pointsPath(p)), bytes);
    QCOMPARE(fileBytes(namePath(p)), nameBytes);
    QCOMPARE(QFileInfo(pointsPath(p)).isSymLink(), linked);
}

void TestRecords::failures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("named");     // the message names this
    QTest::addColumn<QString>("notNamed");  // and not this
    QTest::newRow("data folder under a file") << "blocked" << "blocker/vortana" << "avortana.txt";
    QTest::newRow("points file is a folder") << "points dir" << "avortana.txt" << "";
    QTest::newRow("name file is a folder") << "name dir" << "vortana.txt" << "avortana.txt";
    // Opens, then fails with an I/O error on read, for root too.
    QTest::newRow("points file fails on read") << "points EIO" << "avortana.txt" << "";
}

void TestRecords::failures()
{
    QFETCH(QString, setup);
    QFETCH(QString, named);
    QFETCH(QString, notNamed);
    FakePlatform p;
    if (setup == QLatin1String("blocked")) {
        writeBytes(p.tmp.path() + QStringLiteral("/blocker"), "x");
        p.data = p.tmp.path() + QStringLiteral("/blocker/vortana");
    } else {
        QVERIFY(QDir().mkpath(p.data));
        if (setup == QLatin1String("points dir"))
            QVERIFY(QDir().mkpath(pointsPath(p)));
        if (setup == QLatin1String("name dir"))
            QVERIFY(QDir().mkpath(namePath(p)));
        if (setup == QLatin1String("points EIO"))
            QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), pointsPath(p)));
    }
    Tavola t(p, Rng::shared());
    t.start();
    // Nothing runs after the end: no activation, no further box.
    QTest::qWait(200);
    QCOMPARE(p.quits, QList<int>{1});
    QCOMPARE(p.errors.size(), 1);
    QVERIFY2(p.errors[0].contains(named), qPrintable(p.errors[0]));
    QVERIFY2(notNamed.isEmpty() || !p.errors[0].contains(notNamed), qPrintable(p.errors[0]));
    QVERIFY(!t.isVisible() && t.target(Target::paricmd)->text().isEmpty());
    QCOMPARE(p.boxes.size(), 1);
}

// The points go into place before the name: a crash between the renames
// leaves the new points beside the old holder, never a new holder beside
// points they did not make.
void TestRecords::savesPointsFirst()
{
    QTemporaryDir dir;
    const QString points = dir.filePath(QStringLiteral("avortana.txt")), name = dir.filePath(QStringLiteral("vortana.txt"));
    writeBytes(points, " 1\r\n");
    writeBytes(name, "Anna\r\n");
    const int fd = inotify_init1(IN_NONBLOCK);
    QVERIFY(fd >= 0);
    QVERIFY(inotify_add_watch(fd, QFile::encodeName(dir.path()).constData(), IN_MOVED_TO | IN_CLOSE_WRITE) >= 0);
    writeRecord(points, QStringLiteral(" 2"), name, QStringLiteral("Bea"));
    QStringList placed;
    alignas(inotify_event) char buffer[8192];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    for (ssize_t at = 0; at < n;) {
        const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
        const QString file = QFile::decodeName(e->name);
        if ((file == QLatin1String("avortana.txt") || file == QLatin1String("vortana.txt")) && !placed.endsWith(file))
            placed << file;
        at += ssize_t(sizeof(inotify_event) + e->len);
    }
    QCOMPARE(placed, (QStringList{QStringLiteral("avortana.txt"), QStringLiteral("vortana.txt")}));
    QCOMPARE(fileBytes(points) + fileBytes(name), QByteArray(" 2\r\nBea\r\n"));
}

namespace {
// Two records of different lengths, so that a cut-off write shows.
const QByteArray kSaves[2][2] = {{" 1\r\n", "Anna\r\n"}, {"-12345\r\n", "Bartolomeo Bianchi\r\n"}};
}

// Killed at any moment while it saves, the game leaves each file whole:
// the old record's or the new one's. Only the two files' pairing may be
// cut between their renames.
void TestRecords::killedWhileSaving()
{
    QTemporaryDir dir;
    const QString points = dir.filePath(QStringLiteral("avortana.txt")), name = dir.filePath(QStringLiteral("vortana.txt"));
    writeBytes(points, kSaves[0][0]);
    writeBytes(name, kSaves[0][1]);
    for (int round = 0; round < 20; ++round) {
        QProcess saver;
        startChild(saver, "saveForever", dir.path());
        QVERIFY(saver.waitForStarted());
        QTest::qWait(100 + QRandomGenerator::global()->bounded(100));
        saver.kill();
        QVERIFY(saver.waitForFinished());
        for (int f = 0; f < 2; ++f) {
            const QByteArray got = fileBytes(f ? name : points);
            QVERIFY2(got == kSaves[0][f] || got == kSaves[1][f], got.constData());
        }
    }
}

void TestRecords::saveForever()
{
    const QString dir = childArgument();
    if (dir.isEmpty())
        QSKIP("run by killedWhileSaving only");
    for (int i = 0;; i ^= 1)
        writeRecord(dir + QLatin1String(kPointsFile), QString::fromLatin1(kSaves[i][0].chopped(2)),
                    dir + QLatin1String(kNameFile), QString::fromLatin1(kSaves[i][1].chopped(2)));
}

QTEST_MAIN(TestRecords)
#include "test_records.moc"
