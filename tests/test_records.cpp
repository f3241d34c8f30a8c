// The record files as start-up sees them: created when missing, never
// changed, read whole into the record labels, and the errors that stop the
// program when they can't be created or read.
#include "support.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vortana;
using namespace vortana::test;

namespace {
// A whole journal of " 1" by "Anna Bea".
const char kJournal[] = "vortana-journal-1 4 10\n 1\r\nAnna Bea\r\n74209e6788dbc297615c630e68ab169481eac09f97362f7501dd98a22e159a81\n";
}

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
    void specialFiles_data();
    void specialFiles();
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
    // Opens, then fails with an I/O error on read, for root too.
    QTest::newRow("points file fails on read") << "points EIO" << "/proc/self/mem\"" << "";
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
    QTest::newRow("folder") << "folder";
    QTest::newRow("link to an endless device") << "link";
    QTest::newRow("50 MiB") << "big";
    // The right length and framing, one letter of the name changed.
    QTest::newRow("damaged, its length right") << "damaged";
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
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(journal));
    else if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), journal));
    else if (kind == QLatin1String("damaged"))
        writeBytes(journal, QByteArray(kJournal).replace("Bea", "Bee"));
    else
        writeBytes(journal, QByteArray(50 << 20, 'v'));
    auto t = startGame(p);
    QCOMPARE(t->label("lblpunti")->caption() + t->label("lblnome")->caption(), QStringLiteral(" 7\r\n"));
    QCOMPARE(fileBytes(pointsPath(p)) + fileBytes(namePath(p)), QByteArray(" 7\r\n"));
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
    // The journal, then the two files written aside: each name cleared, then
    // written and flushed, the folder flushed once the journal is in it, after
    // the renames and after the journal goes. The game renames nothing else.
    QTest::newRow("write") << "write" << 3 << true;
    QTest::newRow("flush") << "fsync" << 6 << true;
    QTest::newRow("rename") << "rename" << 2 << false;
    QTest::newRow("remove") << "unlink" << 4 << true;
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

void TestRecords::specialFiles_data()
{
    QTest::addColumn<bool>("atStart");  // put there before the game starts, or before it saves
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("error");  // what the error says; empty: the record is shown or saved
    QTest::newRow("FIFO aside, a journal left") << true << "avortana.txt.new" << "fifo" << "";
    QTest::newRow("socket aside, a journal left") << true << "vortana.txt.new" << "socket" << "";
    QTest::newRow("FIFO journal") << true << "vortana.journal" << "fifo" << "";
    QTest::newRow("FIFO aside at a save") << false << "vortana.txt.new" << "fifo" << "";
    QTest::newRow("hard link aside to a file elsewhere") << false << "avortana.txt.new" << "hard link" << "";
    QTest::newRow("points file a FIFO") << true << "avortana.txt" << "fifo" << "avortana.txt\": è una FIFO";
    QTest::newRow("name file a socket") << true << "vortana.txt" << "socket" << "vortana.txt\": è un socket";
    QTest::newRow("points file swapped for a FIFO") << false << "avortana.txt" << "fifo" << "avortana.txt\": è una FIFO";
    QTest::newRow("name file a link to a FIFO") << false << "vortana.txt" << "link to a FIFO" << "altrove\": è una FIFO";
    QTest::newRow("name file a dangling link") << false << "vortana.txt" << "dangling link" << "";
}

// Whatever stands at a name the game uses never makes it wait, and nothing
// but the two files (or their links' targets) is written: an object at a
// name written aside is replaced, one in a record file's place is an error
// in the player's words, and the old record stays.
void TestRecords::specialFiles()
{
    QFETCH(bool, atStart);
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QFETCH(QString, error);
    MACHINE_CHECK();
    // A wait shows as a failure, not as a test that never ends.
    struct sigaction hung = {};
    hung.sa_handler = [](int) {
        static const char text[] = "FAIL: the game waits on the folder's contents\n";
        (void)!::write(2, text, sizeof text - 1);
        ::_exit(1);
    };
    ::sigaction(SIGALRM, &hung, nullptr);
    ::alarm(20);
    const auto noAlarm = qScopeGuard([] { ::alarm(0); });

    FakePlatform p;
    QVERIFY(QDir().mkpath(p.data));
    writeBytes(pointsPath(p), " 3\r\n");
    writeBytes(namePath(p), "Vecchio\r\n");
    const QString path = p.data + u'/' + file, elsewhere = p.tmp.filePath(QStringLiteral("altrove"));
    const QByteArray at = QFile::encodeName(path);
    writeBytes(elsewhere, "fuori\r\n");
    const auto make = [&] {
        QFile::remove(path);
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(at.constData(), 0666), 0);
        } else if (kind == QLatin1String("socket")) {
            sockaddr_un addr = {};
            addr.sun_family = AF_UNIX;
            QVERIFY(size_t(at.size()) < sizeof addr.sun_path);
            qstrcpy(addr.sun_path, at.constData());
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
            ::close(fd);
        } else if (kind == QLatin1String("hard link")) {
            QCOMPARE(::link(QFile::encodeName(elsewhere).constData(), at.constData()), 0);
        } else {
            QFile::remove(elsewhere);
            if (kind == QLatin1String("link to a FIFO"))
                QCOMPARE(::mkfifo(QFile::encodeName(elsewhere).constData(), 0666), 0);
            QVERIFY(QFile::link(elsewhere, path));
        }
    };
    if (atStart) {
        make();
        if (file.endsWith(QLatin1String(".new")))
            writeBytes(p.data + QLatin1String(kJournalFile), kJournal);
    }
    auto t = startGame(p, QStringLiteral("Anna"));
    if (!atStart && p.errors.isEmpty()) {
        make();
        t->label("Punteggio")->setCaption(QStringLiteral(" 5"));
        t->run(&Tavola::cmdExit_Click);
    }

    QCOMPARE(p.quits, error.isEmpty() ? QList<int>(atStart ? 0 : 1, 0) : QList<int>{1});
    QVERIFY2(error.isEmpty() ? p.errors.isEmpty() : p.errors.size() == 1 && p.errors[0].contains(error), qPrintable(p.errors.join(u'\n')));
    QByteArray record = " 3\r\nVecchio\r\n";
    if (error.isEmpty() && !atStart)
        record = " 5\r\nAnna\r\n";
    else if (file.endsWith(QLatin1String(".new")))
        record = " 1\r\nAnna Bea\r\n";
    struct stat st = {};
    if (error.isEmpty()) {
        QCOMPARE(fileBytes(pointsPath(p)) + fileBytes(namePath(p)), record);
        QCOMPARE(QDir(p.data).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).join(u' '),
                 QStringLiteral("avortana.txt vortana.txt"));
    } else {  // the object is left as it was, and so is the other file
        QVERIFY(::stat(kind == QLatin1String("fifo") || kind == QLatin1String("socket") ? at.constData() : QFile::encodeName(elsewhere).constData(), &st) == 0);
        QVERIFY(!S_ISREG(st.st_mode));
        QCOMPARE(fileBytes(file == QLatin1String("vortana.txt") ? pointsPath(p) : namePath(p)), file == QLatin1String("vortana.txt") ? " 3\r\n" : "Vecchio\r\n");
    }
    // A file elsewhere is never written through a link, a dangling link is kept.
    if (kind == QLatin1String("hard link"))
        QCOMPARE(fileBytes(elsewhere), QByteArray("fuori\r\n"));
    if (kind == QLatin1String("dangling link"))
        QVERIFY(QFileInfo(path).isSymLink() && fileBytes(elsewhere) == "Anna\r\n");
}

QTEST_MAIN(TestRecords)
#include "test_records.moc"
