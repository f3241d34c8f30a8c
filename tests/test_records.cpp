// The record files as start-up sees them: created when missing, never
// changed, read whole into the record labels, and the errors that stop the
// program when they can't be created or read.
#include "support.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
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
    void hostileJournal_data();
    void hostileJournal();
    void saveCutShort_data();
    void saveCutShort();
    void saveAndExit();
};

void TestRecords::firstStartCreatesEmptyFiles()
{
    FakePlatform p;
    auto t = startGame(p);
    QCOMPARE(QDir(p.data).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("avortana.txt"), QStringLiteral("vortana.txt")}));
    QCOMPARE(QFileInfo(pointsPath(p)).size() + QFileInfo(namePath(p)).size(), 0);
    // The load takes the first free channel and gives every channel back.
    QCOMPARE(std::pair(int(t->vars().fileNum), int(t->channels().next())), std::pair(1, 1));
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
    for (const char *name : {"lblpunti", "lblnome"}) {
        const QString before = name == std::string_view("lblnome") ? QStringLiteral("Nome ") : QString();
        const Label *l = t->label(name);
        if (caption.isNull())
            QCOMPARE(l->caption().size(), before.size() + bytes.size());
        else  // as read, and as shown
            QCOMPARE(l->caption() + u'|' + l->text(), (before + caption).left(65536) + u'|' + (before + shown).left(65536));
    }
    QCOMPARE(fileBytes(pointsPath(p)) + '|' + fileBytes(namePath(p)), bytes + '|' + nameBytes);
    QCOMPARE(QFileInfo(pointsPath(p)).isSymLink(), linked);
}

void TestRecords::failures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("named");     // the message names this
    QTest::addColumn<QString>("notNamed");  // and not this
    QTest::newRow("data folder under a file") << "blocked" << "blocker/vortana" << "avortana.txt";
    QTest::newRow("no data folder") << "none" << "Cartella dei record sconosciuta: nessuna cartella dati dell'utente" << "";
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
    } else if (setup == QLatin1String("none")) {
        p.data.clear();
    } else {
        QVERIFY(QDir().mkpath(p.data));
        if (setup.endsWith(QLatin1String(" dir")))
            QVERIFY(QDir().mkpath(setup.startsWith(u'p') ? pointsPath(p) : namePath(p)));
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

void TestRecords::hostileJournal_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("folder") << "folder";
    QTest::newRow("link to an endless device") << "link";
    QTest::newRow("50 MiB") << "big";
}

// Whatever stands where a save's journal would: start-up neither hangs nor
// fails, shows the record as it is, and clears the thing away if it can.
void TestRecords::hostileJournal()
{
    QFETCH(QString, kind);
    FakePlatform p;
    QVERIFY(QDir().mkpath(p.data));
    writeBytes(pointsPath(p), " 7\r\n");
    const QString journal = p.data + QLatin1String(kJournalFile);
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(journal).constData(), 0600), 0);
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(journal));
    else if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), journal));
    else
        writeBytes(journal, QByteArray(50 << 20, 'v'));
    auto t = startGame(p);
    QCOMPARE(t->label("lblpunti")->caption(), QStringLiteral(" 7\r\n"));
    QCOMPARE(QFileInfo(journal).exists() || QFileInfo(journal).isSymLink(), kind == QLatin1String("folder"));
}

namespace {
// The record before and after the save; different lengths, so a cut-off write shows.
const QStringList kOld{QStringLiteral("-12345\r\n"), QStringLiteral("Bartolomeo Bianchi\r\n")};
const QStringList kNew{QStringLiteral(" 1\r\n"), QStringLiteral("Anna\r\n")};
}

void TestRecords::saveCutShort_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("cuts");  // how many times a save makes that call
    QTest::addColumn<bool>("onFiles");  // counted only on the record's files and folder
    // The journal, then the two files written aside: each written and flushed,
    // the folder flushed once the journal is in it, after the renames and after
    // the journal goes. The game renames nothing else.
    QTest::newRow("write") << "write" << 3 << true;
    QTest::newRow("flush") << "fsync" << 6 << true;
    QTest::newRow("rename") << "rename" << 2 << false;
    QTest::newRow("remove") << "unlink" << 1 << true;
}

// A game killed at each step of its save in turn: the next start shows the
// old record or the new one, whole, and leaves nothing but the two files.
void TestRecords::saveCutShort()
{
    QFETCH(QString, call);
    QFETCH(int, cuts);
    QFETCH(bool, onFiles);
    MACHINE_CHECK();
    for (int when = 1;; ++when) {
        FakePlatform p;
        QVERIFY(QDir().mkpath(p.data));
        writeBytes(pointsPath(p), kOld[0].toLatin1());
        writeBytes(namePath(p), kOld[1].toLatin1());
        QStringList args{QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("-e"),
                         QStringLiteral("inject=%1:signal=SIGKILL:when=%2").arg(call).arg(when)};
        // The files a save touches, as the folder's path meets each name with one slash or two.
        for (const char *f : {"", "avortana.txt", "vortana.txt", "vortana.journal", "avortana.txt.new", "vortana.txt.new"})
            for (const char *slash : {"/", "//"})
                if (onFiles)
                    args << QStringLiteral("-P") << p.data + QLatin1String(*f ? slash : "") + QLatin1String(f);
        QProcess game;
        startChild(game, "saveAndExit", p.data, args << QStringLiteral("--"));
        QVERIFY(game.waitForFinished(60000));
        const bool cut = game.exitStatus() == QProcess::CrashExit || game.exitCode() == 128 + SIGKILL;
        QVERIFY2(cut || game.exitCode() == 0, game.readAllStandardError().constData());

        auto next = startGame(p);
        const QStringList shown{next->label("lblpunti")->caption(), next->label("lblnome")->caption()};
        QVERIFY2(shown == kOld || shown == kNew, qPrintable(QStringLiteral("%1 #%2: %3").arg(call).arg(when).arg(shown.join(u'|'))));
        QCOMPARE(QDir(p.data).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("avortana.txt"), QStringLiteral("vortana.txt")}));
        if (!cut) {
            QCOMPARE(shown, kNew);
            QCOMPARE(when - 1, cuts);
            break;
        }
    }
}

// The game that is cut: beats the record and leaves through the exit routine.
void TestRecords::saveAndExit()
{
    if (childArgument().isEmpty())
        QSKIP("run by saveCutShort only");
    FakePlatform p;
    p.data = childArgument();
    auto t = startGame(p, QStringLiteral("Anna"));
    t->label("Punteggio")->setCaption(QStringLiteral(" 1"));
    t->run(&Tavola::cmdExit_Click);
    QCOMPARE(p.quits, QList<int>{0});
}

QTEST_MAIN(TestRecords)
#include "test_records.moc"
