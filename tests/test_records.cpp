// The record files as start-up sees them: created when missing, never
// changed, read whole into the record labels, and the errors that stop the
// program when they can't be created, read or saved.
#include "support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vortana;
using namespace vortana::test;

namespace {
const char kJournal[] = "vortana-journal-1 4 10\n 1\r\nAnna Bea\r\n74209e6788dbc297615c630e68ab169481eac09f97362f7501dd98a22e159a81\n";
}

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void existingFilesReadWhole_data();
    void existingFilesReadWhole();
    void failures_data();
    void failures();
    void saveCutShort_data();
    void saveCutShort();
    void saveAndExit();
    void specialFiles_data();
    void specialFiles();
};

void TestRecords::existingFilesReadWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("caption");  // null: one character per byte is all that is known
    QTest::addColumn<QString>("shown");    // the lines on screen
    // No files yet, the points file a link to one kept elsewhere, or whatever stands
    // where a save's journal would: start-up neither hangs nor fails, and clears it away if it can.
    QTest::addColumn<QString>("beside");

    QTest::newRow("first start creates them empty") << QByteArray() << "" << "" << "none";
    QTest::newRow("hit record") << QByteArray(" 12\r\n") << " 12\r\n" << " 12\n" << "";
    QTest::newRow("cp1252 letters, SUB") << QByteArray("\xe8\x80\x1a\r\n") << "è€\x1a\r\n" << "è€\x1a\n" << "";
    QTest::newRow("euro the only one") << QByteArray("12 \x80\r\n") << "12 €\r\n" << "12 €\n" << "";
    QTest::newRow("several lines, lone CR, NUL") << QByteArray("a\r\nb\nc\rd\0e\r\n", 12) << QString::fromLatin1("a\r\nb\nc\rd\0e\r\n", 12)
                                                 << QString::fromLatin1("a\nb\nc\nd\0e\n", 10) << "";
    QTest::newRow("undefined in cp1252") << QByteArray("\x81\x8d\x8f\x90\x9d") << QString() << QString() << "";
    QTest::newRow("50 MiB, capped at 64 KiB") << QByteArray(50 << 20, '\xe8') << QString(65536, u'è') << QString(65536, u'è') << "";
    QTest::newRow("symlink") << QByteArray(" 21\r\n") << " 21\r\n" << " 21\n" << "link";
    QTest::newRow("journal a folder") << QByteArray(" 7\r\n") << " 7\r\n" << " 7\n" << "folder";
    QTest::newRow("journal a link to an endless device") << QByteArray(" 7\r\n") << " 7\r\n" << " 7\n" << "/dev/zero";
    QTest::newRow("journal of 50 MiB") << QByteArray(" 7\r\n") << " 7\r\n" << " 7\n" << "big";
    QTest::newRow("journal damaged, its length right") << QByteArray(" 7\r\n") << " 7\r\n" << " 7\n" << "damaged";
}

// The name file holds "Nome " before the same bytes: each label must show its own file.
void TestRecords::existingFilesReadWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, caption);
    QFETCH(QString, shown);
    QFETCH(QString, beside);
    FakePlatform p;
    const bool linked = beside == QLatin1String("link"), none = beside == QLatin1String("none");
    QVERIFY(none || QDir().mkpath(p.data));
    const QString elsewhere = p.tmp.filePath(QStringLiteral("altrove.txt")), journal = p.data + QLatin1String(kJournalFile);
    const QByteArray nameBytes = none ? QByteArray() : "Nome " + bytes;
    if (!none) {
        writeBytes(linked ? elsewhere : pointsPath(p), bytes);
        writeBytes(namePath(p), nameBytes);
    }
    QVERIFY(!linked || QFile::link(elsewhere, pointsPath(p)));
    if (beside == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(journal));
    else if (beside.startsWith(u'/'))
        QVERIFY(QFile::link(beside, journal));
    else if (beside == QLatin1String("damaged") || beside == QLatin1String("big"))
        writeBytes(journal, beside == QLatin1String("big") ? QByteArray(50 << 20, 'v') : QByteArray(kJournal).replace("Bea", "Bee"));
    auto t = startGame(p);

    QVERIFY(p.errors.isEmpty() && p.quits.isEmpty());
    for (const char *name : {"lblpunti", "lblnome"}) {
        const QString before = QString::fromLatin1(name == std::string_view("lblnome") ? nameBytes.left(5) : QByteArray());
        const Label *l = t->label(name);
        if (caption.isNull())
            QCOMPARE(l->caption().size(), before.size() + bytes.size());
        else  // as read, and as shown
            QCOMPARE(l->caption() + u'|' + l->text(), (before + caption).left(65536) + u'|' + (before + shown).left(65536));
    }
    QCOMPARE(fileBytes(pointsPath(p)) + '|' + fileBytes(namePath(p)), bytes + '|' + nameBytes);
    QCOMPARE(QFileInfo(pointsPath(p)).isSymLink(), linked);
    QCOMPARE(QDir(p.data).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).join(u' '),
             QString::fromLatin1(beside == QLatin1String("folder") ? "avortana.txt vortana.journal vortana.txt" : "avortana.txt vortana.txt"));
    // The load takes the first free channel and gives every channel back.
    QCOMPARE(std::pair(int(t->vars().fileNum), int(t->channels().next())), std::pair(1, 1));
}

void TestRecords::failures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("named");     // the message names this
    QTest::addColumn<QString>("notNamed");  // and not this
    QTest::newRow("data folder under a file") << "blocked" << "blocker/vortana" << "avortana.txt";
    QTest::newRow("no data folder") << "none" << "Cartella dei record sconosciuta: nessuna cartella dati dell'utente" << "";
    // Opens, then fails with an I/O error on read, for root too.
    QTest::newRow("points file fails on read") << "points EIO" << "/mem\"" << "";
    QTest::newRow("name file a folder at a save, buttons moving") << "exit" << "vortana.txt" << "";
}

// A run-time error stops the game: behind its report no timer ticks and no
// game code runs, however long the report stays open, nor after it, and the status is 1.
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
    t.start();
    const bool atExit = setup == QLatin1String("exit");
    if (atExit) {
        QVERIFY(waitActivated(t));
        t.run(&Tavola::Form_Click);
        QVERIFY(QFile::remove(namePath(p)) && QDir().mkdir(namePath(p)));
        t.label("Punteggio")->setCaption(QStringLiteral(" 5"));
        t.run(&Tavola::cmdExit_Click);
    }
    // Nothing runs after the end: no activation, no further box.
    QTest::qWait(200);
    QCOMPARE(p.quits, QList<int>{1});
    QVERIFY2(p.errors.size() == 1 && p.errors[0].contains(named) && (notNamed.isEmpty() || !p.errors[0].contains(notNamed)),
             qPrintable(p.errors.join(u'\n')));
    QVERIFY(!t.isVisible() && (atExit || t.target(Target::paricmd)->text().isEmpty()));
    QCOMPARE(p.boxes.size(), atExit ? 2 : 1);
    QCOMPARE(p.boxes.last().text.endsWith(u"Ciao a presto!"), atExit);
    QCOMPARE(t.label("lblconto")->caption(), QStringLiteral("00:00:00"));
    for (int i = 0; i < kTargets; ++i)
        QVERIFY(t.target(Target(i))->isHidden());
}

namespace {
// The record before and after the save; different lengths, so a cut-off write shows.
const QStringList kOld{QStringLiteral("-12345\r\n"), QStringLiteral("Bartolomeo Bianchi\r\n")};
const QStringList kNew{QStringLiteral(" 1\r\n"), QStringLiteral("Anna\r\n")};

// The game strace runs, once the injected SIGSTOP holds it: stopped, and
// not switched in for half a second, which a stop at each of its system
// calls for strace never lasts. 0 if it ended first.
pid_t stoppedGame(QProcess &strace)
{
    QElapsedTimer waited, still;
    waited.start();
    QByteArray seen;
    while (!waited.hasExpired(60000) && !strace.waitForFinished(20)) {
        const pid_t pid = fileBytes(QStringLiteral("/proc/%1/task/%1/children").arg(strace.processId())).trimmed().toInt();
        const QByteArray status = pid > 0 ? fileBytes(QStringLiteral("/proc/%1/status").arg(pid)) : QByteArray();
        const bool stopped = status.contains("\nState:\tt") || status.contains("\nState:\tT");
        const QByteArray now = stopped ? status.sliced(status.indexOf("voluntary_ctxt_switches")) : QByteArray();
        if (now != seen || now.isEmpty()) {
            seen = now;
            still.start();
        } else if (still.hasExpired(500)) {
            return pid;
        }
    }
    return 0;
}

// Whether another game trying to lock the record now would have to wait.
bool recordLocked(const QString &points)
{
    const int fd = ::open(QFile::encodeName(points).constData(), O_RDWR | O_CLOEXEC);
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    const bool asked = fd >= 0 && ::fcntl(fd, F_OFD_GETLK, &whole) == 0;
    ::close(fd);
    return asked && whole.l_type != F_UNLCK;
}
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

// A game stopped at each step of its save in turn holds a second game off,
// and killed there, the next start shows the old record or the new one,
// whole, and leaves nothing but the two files.
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
        QStringList args = QStringLiteral("strace -f -o /dev/null -e inject=%1:signal=SIGSTOP:when=%2").arg(call).arg(when).split(u' ');
        // The files a save touches, as the folder's path meets each name with one slash or two.
        for (const char *f : {"", "avortana.txt", "vortana.txt", "vortana.journal", "avortana.txt.new", "vortana.txt.new"})
            for (const char *slash : {"/", "//"})
                if (onFiles)
                    args << QStringLiteral("-P") << p.data + QLatin1String(*f ? slash : "") + QLatin1String(f);
        QProcess game;
        startChild(game, "saveAndExit", p.data, args << QStringLiteral("--"));
        if (const pid_t stopped = stoppedGame(game)) {
            QVERIFY2(recordLocked(pointsPath(p)), qPrintable(QStringLiteral("%1 #%2: the record is not locked").arg(call).arg(when)));
            ::kill(stopped, SIGKILL);
        }
        QVERIFY2(game.state() == QProcess::NotRunning || game.waitForFinished(60000), qPrintable(game.errorString()));
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
    QTest::addColumn<QByteArray>("record");  // the two files after it, or on an error the other one
    QTest::newRow("FIFO aside, a journal left") << true << "avortana.txt.new" << "fifo" << "" << QByteArray(" 1\r\nAnna Bea\r\n");
    QTest::newRow("socket aside, a journal left") << true << "vortana.txt.new" << "socket" << "" << QByteArray(" 1\r\nAnna Bea\r\n");
    QTest::newRow("FIFO journal") << true << "vortana.journal" << "fifo" << "" << QByteArray(" 3\r\nVecchio\r\n");
    QTest::newRow("FIFO aside at a save") << false << "vortana.txt.new" << "fifo" << "" << QByteArray(" 5\r\nAnna\r\n");
    QTest::newRow("hard link aside to a file elsewhere") << false << "avortana.txt.new" << "hard link" << "" << QByteArray(" 5\r\nAnna\r\n");
    QTest::newRow("points file a FIFO") << true << "avortana.txt" << "fifo" << "avortana.txt\": è una FIFO" << QByteArray("Vecchio\r\n");
    QTest::newRow("name file a socket") << true << "vortana.txt" << "socket" << "vortana.txt\": è un socket" << QByteArray(" 3\r\n");
    QTest::newRow("points file swapped for a FIFO") << false << "avortana.txt" << "fifo" << "avortana.txt\": è una FIFO" << QByteArray("Vecchio\r\n");
    QTest::newRow("name file a link to a FIFO") << false << "vortana.txt" << "link to a FIFO" << "altrove\": è una FIFO" << QByteArray(" 3\r\n");
    QTest::newRow("name file a dangling link") << false << "vortana.txt" << "dangling link" << "" << QByteArray(" 5\r\nAnna\r\n");
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
    QFETCH(QByteArray, record);
    MACHINE_CHECK();
    // A wait shows as a failure, not as a test that never ends.
    ::signal(SIGALRM, [](int) {
        static const char text[] = "FAIL: the game waits on the folder's contents\n";
        (void)!::write(2, text, sizeof text - 1), ::_exit(1);
    });
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
        if (kind == QLatin1String("fifo") || kind == QLatin1String("socket")) {
            QCOMPARE(::mknod(at.constData(), (kind == QLatin1String("fifo") ? S_IFIFO : S_IFSOCK) | 0666, 0), 0);
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
    QCOMPARE(error.isEmpty() ? fileBytes(pointsPath(p)) + fileBytes(namePath(p)) : fileBytes(file == QLatin1String("vortana.txt") ? pointsPath(p) : namePath(p)), record);
    if (error.isEmpty()) {
        QCOMPARE(QDir(p.data).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).join(u' '),
                 QStringLiteral("avortana.txt vortana.txt"));
    } else {  // the object is left as it was
        const QFileInfo object(kind == QLatin1String("fifo") || kind == QLatin1String("socket") ? path : elsewhere);
        QVERIFY(object.exists() && !object.isFile());
    }
    // A file elsewhere is never written through a link, a dangling link is kept.
    if (kind == QLatin1String("hard link"))
        QCOMPARE(fileBytes(elsewhere), QByteArray("fuori\r\n"));
    if (kind == QLatin1String("dangling link"))
        QVERIFY(QFileInfo(path).isSymLink() && fileBytes(elsewhere) == "Anna\r\n");
}

QTEST_MAIN(TestRecords)
#include "test_records.moc"
