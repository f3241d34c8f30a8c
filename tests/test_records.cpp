// The record files as start-up sees them: created when missing, never
// changed, read whole into the record labels, and the errors that stop the
// program when they can't be created or read.
#include "support.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <vector>

using namespace vortana;
using namespace vortana::test;

static QString pointsOf(const FakePlatform &p) { return p.data + QStringLiteral("/avortana.txt"); }
static QString nameOf(const FakePlatform &p) { return p.data + QStringLiteral("/vortana.txt"); }

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void firstStartCreatesEmptyFiles();
    void existingFilesReadWhole_data();
    void existingFilesReadWhole();
    void failures_data();
    void failures();
    void channels_data();
    void channels();
    void killedWhileSaving();
    void saveForever();
};

void TestRecords::firstStartCreatesEmptyFiles()
{
    FakePlatform p;
    auto t = startGame(p);
    QVERIFY(p.errors.isEmpty());
    QCOMPARE(t->GetSystemDir(), p.data + QLatin1Char('/'));
    QCOMPARE(QDir(p.data).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("avortana.txt"), QStringLiteral("vortana.txt")}));
    QCOMPARE(QFileInfo(pointsOf(p)).size() + QFileInfo(nameOf(p)).size(), 0);
    // The load takes the first free channel and gives every channel back.
    QCOMPARE(t->vars().fileNum, 1);
    QCOMPARE(t->channels().next(), 1);
}

void TestRecords::existingFilesReadWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("caption");  // null: one character per byte is all that is known
    QTest::addColumn<bool>("linked");  // the points file a link to one kept elsewhere
    const QByteArray mib = QByteArray("1234567890 Lorem\r\n").repeated((1 << 20) / 16);

    QTest::newRow("hit record") << QByteArray(" 12\r\n") << " 12\r\n" << false;
    QTest::newRow("cp1252 letters") << QByteArray("\xe8\x80\r\n") << "è€\r\n" << false;
    QTest::newRow("no line end") << QByteArray("Anna") << "Anna" << false;
    QTest::newRow("several lines") << QByteArray("a\r\nb\nc\rd\r\n") << "a\r\nb\nc\rd\r\n" << false;
    QTest::newRow("NUL bytes") << QByteArray("a\0b\0", 4) << QString::fromLatin1("a\0b\0", 4) << false;
    QTest::newRow("undefined in cp1252") << QByteArray("\x81\x8d\x8f\x90\x9d") << QString() << false;
    QTest::newRow("1 MiB, capped at 64 KiB") << mib << QString::fromLatin1(mib.left(65536)) << false;
    QTest::newRow("50 MiB, capped at 64 KiB") << QByteArray(50 << 20, '\xe8') << QString(65536, u'è') << false;
    QTest::newRow("symlink") << QByteArray(" 21\r\n") << " 21\r\n" << true;
}

void TestRecords::existingFilesReadWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, caption);
    QFETCH(bool, linked);
    FakePlatform p;
    QVERIFY(QDir().mkpath(p.data));
    const QString elsewhere = p.tmp.filePath(QStringLiteral("altrove.txt"));
    writeBytes(linked ? elsewhere : pointsOf(p), bytes);
    QVERIFY(!linked || QFile::link(elsewhere, pointsOf(p)));
    writeBytes(nameOf(p), bytes);
    p.answer = [](const Box &b) { return b.style & YesNo ? AnswerYes : AnswerOk; };
    auto t = startGame(p);
    // A new game builds the window again and reads the files again.
    t->menuItem("Next")->trigger();
    QCOMPARE(p.prompts.size(), 2);
    QVERIFY(waitActivated(*t));

    QVERIFY(p.errors.isEmpty() && p.quits.isEmpty());
    for (const char *name : {"lblpunti", "lblnome"}) {
        if (caption.isNull())
            QCOMPARE(t->label(name)->caption().size(), bytes.size());
        else
            QCOMPARE(t->label(name)->caption(), caption);
    }
    QCOMPARE(fileBytes(pointsOf(p)), bytes);
    QCOMPARE(fileBytes(nameOf(p)), bytes);
    QCOMPARE(QFileInfo(pointsOf(p)).isSymLink(), linked);
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
            QVERIFY(QDir().mkpath(pointsOf(p)));
        if (setup == QLatin1String("name dir"))
            QVERIFY(QDir().mkpath(nameOf(p)));
        if (setup == QLatin1String("points EIO"))
            QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), pointsOf(p)));
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

void TestRecords::channels_data()
{
    QTest::addColumn<QList<int>>("held");
    QTest::addColumn<int>("next");
    QTest::newRow("first held") << QList<int>{1} << 2;
    QTest::newRow("run held") << QList<int>{1, 2, 3} << 4;
    QTest::newRow("gap at 1") << QList<int>{2, 3} << 1;
    QTest::newRow("gap in the middle") << QList<int>{1, 3, 4} << 2;
}

void TestRecords::channels()
{
    QFETCH(QList<int>, held);
    QFETCH(int, next);
    FileChannels c;
    {
        std::vector<std::unique_ptr<FileChannels::Lease>> leases;
        for (int n : held)
            leases.push_back(std::make_unique<FileChannels::Lease>(c, std::int16_t(n)));
        QCOMPARE(int(c.next()), next);
    }
    // Closing gives every number back.
    QCOMPARE(int(c.next()), 1);
    for (int n : held)
        QVERIFY(!c.inUse(std::int16_t(n)));
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
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VORTANA_SAVE_FOREVER"), dir.path());
        saver.setProcessEnvironment(env);
        saver.start(QCoreApplication::applicationFilePath(), {QStringLiteral("saveForever")});
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
    const QString dir = qEnvironmentVariable("VORTANA_SAVE_FOREVER");
    if (dir.isEmpty())
        QSKIP("run by killedWhileSaving only");
    for (int i = 0;; i ^= 1)
        writeRecord(dir + QLatin1String(kPointsFile), QString::fromLatin1(kSaves[i][0].chopped(2)),
                    dir + QLatin1String(kNameFile), QString::fromLatin1(kSaves[i][1].chopped(2)));
}

QTEST_MAIN(TestRecords)
#include "test_records.moc"
