// The record files as start-up sees them: created when missing, never
// changed, read whole into the record labels, and the errors that stop the
// program when they can't be created or read.
#include "support.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <vector>

using namespace vortana;
using namespace vortana::test;

namespace {

QString pointsOf(const FakePlatform &p) { return p.data + QStringLiteral("/avortana.txt"); }
QString nameOf(const FakePlatform &p) { return p.data + QStringLiteral("/vortana.txt"); }

int answerYes(const Box &b) { return b.style & YesNo ? AnswerYes : AnswerOk; }

}  // namespace

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void firstStartCreatesEmptyFiles();
    void systemDir_data();
    void systemDir();
    void existingFilesUntouched();
    void readWhole_data();
    void readWhole();
    void symlinkIsFollowed();
    void failures_data();
    void failures();
    void channels_data();
    void channels();
};

void TestRecords::firstStartCreatesEmptyFiles()
{
    FakePlatform p;
    QVERIFY(!QFileInfo::exists(p.data));
    auto t = startGame(p);
    QVERIFY(p.errors.isEmpty());
    QCOMPARE(t->vars().windowsDir, p.data + QLatin1Char('/'));
    for (const QString &path : {pointsOf(p), nameOf(p)}) {
        const QFileInfo f(path);
        QVERIFY2(f.isFile(), qPrintable(path));
        QCOMPARE(f.size(), 0);
    }
    QCOMPARE(QDir(p.data).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QCOMPARE(t->label("lblpunti")->caption(), QString());
    QCOMPARE(t->label("lblnome")->caption(), QString());
    // The load takes the first free channel and gives every channel back.
    QCOMPARE(t->vars().fileNum, 1);
    for (std::int16_t n = 1; n <= 8; ++n)
        QVERIFY(!t->channels().inUse(n));
    QCOMPARE(t->channels().next(), 1);
}

void TestRecords::systemDir_data()
{
    QTest::addColumn<QString>("dir");       // below a fresh temp folder
    QTest::addColumn<QString>("expected");  // likewise
    QTest::newRow("missing, nested") << "a/b/c" << "a/b/c/";
    QTest::newRow("ends with a slash") << "d/e/" << "d/e/";
    QTest::newRow("blanks kept") << "con spazio /x" << "con spazio /x/";
}

void TestRecords::systemDir()
{
    QFETCH(QString, dir);
    QFETCH(QString, expected);
    FakePlatform p;
    const QString root = p.tmp.path() + QLatin1Char('/');
    p.data = root + dir;
    Tavola t(p, Rng::shared());
    QCOMPARE(t.GetSystemDir(), root + expected);
    QVERIFY(QFileInfo(root + expected).isDir());
    QCOMPARE(t.GetSystemDir(), root + expected);  // an existing folder is fine
}

void TestRecords::existingFilesUntouched()
{
    FakePlatform p;
    QVERIFY(QDir().mkpath(p.data));
    const QByteArray points(" 12\r\n"), name("Anna\r\n");
    writeBytes(pointsOf(p), points);
    writeBytes(nameOf(p), name);
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'000'000'000);
    for (const QString &path : {pointsOf(p), nameOf(p)}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    auto unchanged = [&] {
        QCOMPARE(fileBytes(pointsOf(p)), points);
        QCOMPARE(fileBytes(nameOf(p)), name);
        QCOMPARE(QFileInfo(pointsOf(p)).lastModified(), old);
        QCOMPARE(QFileInfo(nameOf(p)).lastModified(), old);
    };

    p.names = {QStringLiteral("Bea"), QStringLiteral("Carlo")};
    p.answer = answerYes;
    Tavola t(p, Rng::shared());
    t.start();
    QVERIFY(waitActivated(t));
    unchanged();
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(t.label("lblpunti")->caption(), QString::fromLatin1(points));
    QCOMPARE(t.label("lblnome")->caption(), QString::fromLatin1(name));

    // A new game builds the window again and reads the files again.
    t.menuItem("Next")->trigger();
    QTRY_COMPARE(p.prompts.size(), 2);
    QVERIFY(waitActivated(t));
    QCOMPARE(t.label("lblnome1")->caption(), QStringLiteral("Carlo"));
    QCOMPARE(t.label("lblpunti")->caption(), QString::fromLatin1(points));
    QCOMPARE(t.label("lblnome")->caption(), QString::fromLatin1(name));
    unchanged();
    QVERIFY(p.errors.isEmpty());
    QVERIFY(p.quits.isEmpty());
}

void TestRecords::readWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("caption");  // null: only the length is known
    QTest::addColumn<int>("length");

    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    QByteArray mib;
    while (mib.size() < (1 << 20))
        mib += "1234567890 Lorem\r\n";

    QTest::newRow("hit record") << QByteArray(" 12\r\n") << " 12\r\n" << 5;
    QTest::newRow("miss record") << QByteArray("-4\r\n") << "-4\r\n" << 4;
    QTest::newRow("only a line end") << QByteArray("\r\n") << "\r\n" << 2;
    QTest::newRow("cp1252 letters") << QByteArray("\xe8\x80\r\n") << "è€\r\n" << 4;
    QTest::newRow("no line end") << QByteArray("Anna") << "Anna" << 4;
    QTest::newRow("several lines") << QByteArray("a\r\nb\nc\rd\r\n") << "a\r\nb\nc\rd\r\n" << 10;
    QTest::newRow("NUL bytes") << QByteArray("a\0b\0", 4) << QString::fromLatin1("a\0b\0", 4) << 4;
    QTest::newRow("undefined in cp1252") << QByteArray("\x81\x8d\x8f\x90\x9d") << QString() << 5;
    QTest::newRow("every byte") << all << QString() << 256;
    QTest::newRow("1 MiB, capped at 64 KiB") << mib << QString() << 65536;
    QTest::newRow("50 MiB, capped at 64 KiB") << QByteArray(50 << 20, '\xe8') << QString(65536, u'è') << 65536;
}

void TestRecords::readWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, caption);
    QFETCH(int, length);
    FakePlatform p;
    QVERIFY(QDir().mkpath(p.data));
    writeBytes(pointsOf(p), bytes);
    writeBytes(nameOf(p), bytes);
    auto t = startGame(p);
    QVERIFY(p.errors.isEmpty());
    QVERIFY(p.quits.isEmpty());
    for (const char *name : {"lblpunti", "lblnome"}) {
        const QString got = t->label(name)->caption();
        QCOMPARE(got.size(), length);
        if (!caption.isNull())
            QCOMPARE(got, caption);
        // One character per byte, the ASCII ones as they are.
        for (int i = 0; i < length; ++i)
            if (uchar(bytes[i]) < 0x80)
                QCOMPARE(got[i].unicode(), char16_t(uchar(bytes[i])));
    }
    if (length == 256) {
        QCOMPARE(t->label("lblnome")->caption()[0xE8], QChar(u'è'));
        QCOMPARE(t->label("lblnome")->caption()[0x80], QChar(u'€'));
    }
    QCOMPARE(fileBytes(pointsOf(p)), bytes);
    QCOMPARE(fileBytes(nameOf(p)), bytes);
}

void TestRecords::symlinkIsFollowed()
{
    // A record kept elsewhere through a link is read, and the link stays.
    FakePlatform p;
    QVERIFY(QDir().mkpath(p.data));
    const QString elsewhere = p.tmp.filePath(QStringLiteral("altrove.txt"));
    writeBytes(elsewhere, " 21\r\n");
    QVERIFY(QFile::link(elsewhere, pointsOf(p)));
    auto t = startGame(p);
    QVERIFY(p.errors.isEmpty());
    QCOMPARE(t->label("lblpunti")->caption(), QStringLiteral(" 21\r\n"));
    QVERIFY(QFileInfo(pointsOf(p)).isSymLink());
    QCOMPARE(fileBytes(elsewhere), QByteArray(" 21\r\n"));
}

void TestRecords::failures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("named");     // the message names this
    QTest::addColumn<QString>("notNamed");  // and not this
    QTest::newRow("data folder under a file") << "blocked" << "blocker/vortana" << "avortana.txt";
    QTest::newRow("points file is a folder") << "points dir" << "avortana.txt" << "";
    QTest::newRow("name file is a folder") << "name dir" << "vortana.txt" << "avortana.txt";
    QTest::newRow("points file unreadable") << "points 0200" << "avortana.txt" << "";
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
        if (setup == QLatin1String("points 0200")) {
            writeBytes(pointsOf(p), " 3\r\n");
            QVERIFY(QFile::setPermissions(pointsOf(p), QFile::WriteOwner));
            QFile probe(pointsOf(p));
            if (probe.open(QIODevice::ReadOnly))
                QSKIP("permission bits don't block reads for this user (root)");
        }
    }

    p.names = {QStringLiteral("Eva")};
    Tavola t(p, Rng::shared());
    t.start();
    QVERIFY(t.hasEnded());
    QCOMPARE(p.quits, QList<int>{1});
    QCOMPARE(p.errors.size(), 1);
    const QString message = p.errors[0];
    QVERIFY2(message.contains(named), qPrintable(message));
    if (!notNamed.isEmpty())
        QVERIFY2(!message.contains(notNamed), qPrintable(message));
    // Nothing runs after the end: no activation, no further box.
    QTest::qWait(200);
    QVERIFY(!t.isVisible());
    QVERIFY(t.target(Target::paricmd)->text().isEmpty());
    QCOMPARE(p.boxes.size(), 1);
    QCOMPARE(p.errors.size(), 1);
    QCOMPARE(p.quits.size(), 1);
}

void TestRecords::channels_data()
{
    QTest::addColumn<QList<int>>("held");
    QTest::addColumn<int>("next");
    QTest::newRow("none held") << QList<int>{} << 1;
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
        for (int n : held)
            QVERIFY(c.inUse(std::int16_t(n)));
        QVERIFY(!c.inUse(std::int16_t(next)));
        FileChannels::Lease taken(c, c.next());
        QVERIFY(c.inUse(std::int16_t(next)));
        QVERIFY(int(c.next()) != next);
    }
    // Closing gives every number back.
    QCOMPARE(int(c.next()), 1);
    for (int n : held)
        QVERIFY(!c.inUse(std::int16_t(n)));
}

QTEST_MAIN(TestRecords)
#include "test_records.moc"
