// The record files without a window, called as the window calls them:
// start-up's creating and reading, the journal, a save, a save cut short,
// the lock another game holds, and whatever stands at a name the game uses.
// It runs on Linux and under Wine, with Windows' own calls.
#include "files.h"
#include "records/lock.h"
#include "records/recordfiles.h"
#include "records/save.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <optional>
#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace vortana;
using namespace vortana::test;

namespace {

// A record folder of its own.
struct Folder {
    QTemporaryDir tmp;
    QString dir = tmp.path() + QStringLiteral("/vortana");
    Folder() { QDir().mkpath(dir); }
    QString at(const char *name) const { return dir + u'/' + QLatin1String(name); }
    QString points() const { return at("avortana.txt"); }
    QString name() const { return at("vortana.txt"); }
    QByteArray record() const { return fileBytes(points()) + fileBytes(name()); }
    void writeOld() const
    {
        writeBytes(points(), " 3\r\n");
        writeBytes(name(), "Vecchio\r\n");
    }
    QString entries() const
    {
        return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).join(u' ');
    }
};

// What start-up does with the two files: creates them, finishes a save cut
// short under the lock, reads them.
QString startUp(const Folder &f)
{
    touchFile(f.points());
    touchFile(f.name());
    if (vortana::saveCutShort(f.dir)) {
        RecordLock lock(f.dir);
        finishCutSave(f.dir, lock);
    }
    return readRecordFile(f.points()) + readRecordFile(f.name());
}

// What the exit routine does with a better score.
void save(const Folder &f, const QString &points, const QString &name)
{
    RecordLock lock(f.dir);
    finishCutSave(f.dir, lock);
    writeRecord(f.dir, points, name, lock);
}

// Start-up, then a save of " 5" by Anna, `before` run between them; the
// error they report, if any.
QString startAndSave(
    const Folder &f, const std::function<void()> &before = [] {})
{
    try {
        startUp(f);
        before();
        save(f, QStringLiteral(" 5"), QStringLiteral("Anna"));
    } catch (const RuntimeError &e) {
        return e.message;
    }
    return {};
}

}  // namespace

class TestRecordFiles : public QObject {
    Q_OBJECT
private slots:
    void readWhole_data();
    void readWhole();
    void journal_data();
    void journal();
    void cutSaveFinished_data();
    void cutSaveFinished();
    void saveCutShort_data();
    void saveCutShort();
    void saveAndExit();
    void lockedRecord_data();
    void lockedRecord();
    void holdLock();
    void specialFiles_data();
    void specialFiles();
    void notFiles_data();
    void notFiles();
    void heldOpen_data();
    void heldOpen();
};

void TestRecordFiles::readWhole_data()
{
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");  // null: one character per byte is all that is known
    QTest::addColumn<bool>("linked");   // the file is a link to one kept elsewhere
    QTest::newRow("first start creates it empty") << QByteArray() << "" << false;
    QTest::newRow("cp1252 letters, SUB") << QByteArray("\xe8\x80\x1a\r\n") << "è€\x1a\r\n" << false;
    // As Windows converts them: the five it leaves undefined are the C1 controls.
    QTest::newRow("0x80 to 0x9F") << QByteArray("\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8a\x8b\x8c\x8d\x8e\x8f\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9a\x9b\x9c\x9d\x9e\x9f")
                                  << "€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ" << false;
    QTest::newRow("50 MiB, capped at 64 KiB") << QByteArray(50 << 20, '\xe8') << QString(65536, u'è') << false;
#ifdef Q_OS_UNIX  // Qt links are shortcut files on Windows
    QTest::newRow("a link, kept") << QByteArray(" 21\r\n") << " 21\r\n" << true;
#endif
    // clang-format on
}

// Created when missing, never changed, read whole up to the cap.
void TestRecordFiles::readWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, linked);
    Folder f;
    const QString elsewhere = f.tmp.filePath(QStringLiteral("altrove.txt"));
    if (!bytes.isEmpty())
        writeBytes(linked ? elsewhere : f.points(), bytes);
    QVERIFY(!linked || QFile::link(elsewhere, f.points()));
    touchFile(f.points());
    const QString read = readRecordFile(f.points());
    QCOMPARE(text.isNull() ? read.size() : 0, text.isNull() ? bytes.size() : 0);
    if (!text.isNull())
        QCOMPARE(read, text);
    QCOMPARE(fileBytes(f.points()), bytes);
    QCOMPARE(QFileInfo(f.points()).isSymLink(), linked);
}

void TestRecordFiles::journal_data()
{
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("lines");  // points and name; empty: not a journal to finish
    QTest::newRow("whole") << kJournal << QByteArray(" 1\r\nAnna Bea\r\n");
    QTest::newRow("damaged, its length right") << QByteArray(kJournal).replace("Bea", "Bee") << QByteArray();
    QTest::newRow("cut off") << kJournal.chopped(1) << QByteArray();
    QTest::newRow("a byte more") << kJournal + "\n" << QByteArray();
    QTest::newRow("another version") << QByteArray(kJournal).replace("journal-1", "journal-2") << QByteArray();
    QTest::newRow("sizes not numbers") << QByteArray(kJournal).replace("4 10", "4 1a") << QByteArray();
    QTest::newRow("a line over the limit") << QByteArray("vortana-journal-1 65537 0\n") + QByteArray(65537, 'x') << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    // clang-format on
}

void TestRecordFiles::journal()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, lines);
    const auto parsed = parseJournal(bytes);
    QCOMPARE(parsed ? parsed->first + parsed->second : QByteArray(), lines);
}

void TestRecordFiles::cutSaveFinished_data()
{
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::addColumn<QString>("journal");  // what stands at the journal's name
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("entries");  // the folder afterwards
    const QByteArray old(" 7\r\nNome\r\n"), whole(" 1\r\nAnna Bea\r\n");
    QTest::newRow("whole, the name's line left aside") << "whole" << whole << "avortana.txt vortana.txt";
    QTest::newRow("damaged, its length right") << "damaged" << old << "avortana.txt vortana.txt";
    QTest::newRow("a folder") << "folder" << old << "avortana.txt vortana.journal vortana.txt";
#ifdef Q_OS_UNIX
    QTest::newRow("a link to an endless device") << "/dev/zero" << old << "avortana.txt vortana.txt";
#endif
    QTest::newRow("50 MiB") << "big" << old << "avortana.txt vortana.txt";
    // clang-format on
}

// Start-up finishes a whole journal and throws any other away, with what a
// save left aside; it never hangs on what stands there.
void TestRecordFiles::cutSaveFinished()
{
    QFETCH(QString, journal);
    QFETCH(QByteArray, record);
    QFETCH(QString, entries);
    Folder f;
    writeBytes(f.points(), " 7\r\n");
    writeBytes(f.name(), "Nome\r\n");
    writeBytes(f.at("vortana.txt.new"), "Anna Bea\r\n");
    const QString path = f.at("vortana.journal");
    if (journal == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));
    else if (journal.startsWith(u'/'))
        QVERIFY(QFile::link(journal, path));
    else if (journal == QLatin1String("big"))
        writeBytes(path, QByteArray(50 << 20, 'v'));
    else
        writeBytes(path, journal == QLatin1String("damaged") ? QByteArray(kJournal).replace("Bea", "Bee") : kJournal);
    QVERIFY(vortana::saveCutShort(f.dir));
    QCOMPARE(startUp(f), QString::fromLatin1(record));
    QCOMPARE(f.record(), record);
    QCOMPARE(f.entries(), entries);
}

namespace {
// The record before and after the save; different lengths, so a cut-off write shows.
const QByteArray kOld("-12345\r\nBartolomeo Bianchi\r\n"), kNew(" 1\r\nAnna\r\n");

#ifdef Q_OS_UNIX
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
#endif
}  // namespace

void TestRecordFiles::saveCutShort_data()
{
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("cuts");  // how many times a save makes that call
    QTest::addColumn<bool>("onFiles");  // counted only on the record's files and folder
    QTest::addColumn<QString>("cut");   // a kill, or the call failing
    // The journal, then the two files written aside: each name cleared, then
    // written and flushed, the folder flushed once the journal is in it, after
    // the renames and after the journal goes. The game renames nothing else.
    for (const char *cut : {"signal=SIGSTOP", "error=EIO"}) {
        QTest::addRow("write, %s", cut) << "write" << 3 << true << cut;
        QTest::addRow("flush, %s", cut) << "fsync" << 6 << true << cut;
        QTest::addRow("rename, %s", cut) << "rename" << 2 << false << cut;
        QTest::addRow("remove, %s", cut) << "unlink" << 4 << true << cut;
    }
    // clang-format on
}

// A save stopped at each step in turn holds a second game off, and killed
// there, or failing there, the next start shows the old record or the new
// one, whole, and leaves nothing but the two files.
void TestRecordFiles::saveCutShort()
{
    MACHINE_CHECK();
#ifdef Q_OS_UNIX
    QFETCH(QString, call);
    QFETCH(int, cuts);
    QFETCH(bool, onFiles);
    QFETCH(QString, cut);
    for (int when = 1; when <= cuts + 1; ++when) {
        Folder f;
        writeBytes(f.points(), kOld.first(8));
        writeBytes(f.name(), kOld.sliced(8));
        QStringList args = QStringLiteral("strace -f -o /dev/null -e inject=%1:%2:when=%3").arg(call, cut).arg(when).split(u' ');
        // The files a save touches, as the folder's path meets each name with one slash or two.
        for (const char *name : {"", "avortana.txt", "vortana.txt", "vortana.journal", "avortana.txt.new", "vortana.txt.new"})
            for (const char *slash : {"/", "//"})
                if (onFiles)
                    args << QStringLiteral("-P") << f.dir + QLatin1String(*name ? slash : "") + QLatin1String(name);
        QProcess game;
        startChild(game, "saveAndExit", f.dir, args << QStringLiteral("--"));
        if (const pid_t stopped = stoppedGame(game)) {
            QVERIFY2(recordLocked(f.points()), qPrintable(QStringLiteral("%1 #%2: the record is not locked").arg(call).arg(when)));
            ::kill(stopped, SIGKILL);
        }
        QVERIFY2(game.state() == QProcess::NotRunning || game.waitForFinished(60000), qPrintable(game.errorString()));
        const bool killed = game.exitStatus() == QProcess::CrashExit || game.exitCode() == 128 + SIGKILL;
        // A failed call is reported (status 1), or is one the save may ignore.
        const bool kill = cut.startsWith(QLatin1String("signal")) && when <= cuts;
        QVERIFY2(killed == kill && (killed || game.exitCode() <= 1), game.readAllStandardError().constData());

        const QByteArray shown = startUp(f).toLatin1();
        QVERIFY2(shown == kOld || shown == kNew, qPrintable(QStringLiteral("%1 #%2: %3").arg(call).arg(when).arg(QString::fromLatin1(shown))));
        QCOMPARE(f.entries(), QStringLiteral("avortana.txt vortana.txt"));
        if (when > cuts)  // nothing left to cut
            QVERIFY(shown == kNew && game.exitCode() == 0);
    }
#endif
}

void TestRecordFiles::saveAndExit()
{
    if (childArgument().isEmpty())
        QSKIP("run by saveCutShort only");
    Folder f;
    f.dir = childArgument();
    try {
        save(f, QStringLiteral(" 1"), QStringLiteral("Anna"));
    } catch (const RuntimeError &) {
        ::_exit(1);
    }
}

#ifdef Q_OS_WIN
namespace {
// A file opened by another program, sharing it as told.
HANDLE openShared(const QString &path, DWORD share)
{
    return CreateFileW(QDir::toNativeSeparators(path).toStdWString().c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
}
}  // namespace
#endif

void TestRecordFiles::lockedRecord_data()
{
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::addColumn<QString>("holder");
    QTest::addColumn<int>("waits");  // at least this long, in ms; 0: under a second
    QTest::addColumn<QString>("error");
    QTest::newRow("a live game") << "live" << 2000 << "";
    QTest::newRow("a dead game") << "dead" << 0 << "";
    QTest::newRow("a game that outlives the wait") << "long" << 15000 << "in uso da un'altra partita";
#ifdef Q_OS_LINUX
    QTest::newRow("a live game of another user") << "user" << 2000 << "";
    // It holds the file for 1 s, puts a new one in its place and holds that
    // for 2 s more: a lock on the old file keeps no one out.
    QTest::newRow("a game that replaced the file") << "replace" << 2800 << "";
#endif
    // clang-format on
}

// Another game, a process of its own (holdLock), holds the record's lock:
// a live one is waited for, a dead one keeps no one waiting.
void TestRecordFiles::lockedRecord()
{
    QFETCH(QString, holder);
    QFETCH(int, waits);
    QFETCH(QString, error);
#ifdef Q_OS_LINUX  // open file description locks, namespaces
    MACHINE_CHECK();
#endif
    Folder f;
    f.writeOld();
    QProcess other;
    startChild(other, "holdLock", holder + u'|' + f.dir,
               holder == QLatin1String("user") ? QStringList{QStringLiteral("unshare"), QStringLiteral("--map-user=1000"), QStringLiteral("--map-group=1000")} : QStringList());
    QByteArray said;
    while (!said.contains("held") && other.waitForReadyRead(20000))
        said += other.readAllStandardOutput();
    QVERIFY2(said.contains("held"), other.readAllStandardError().constData());
#ifdef Q_OS_WIN
    // Windows bars reads of locked bytes (Wine does not): the lock leaves
    // every byte a record may hold, 64 KiB, free for a reader's own lock.
    const HANDLE reader = openShared(f.points(), FILE_SHARE_READ | FILE_SHARE_WRITE);
    OVERLAPPED from = {};
    QVERIFY(LockFileEx(reader, LOCKFILE_FAIL_IMMEDIATELY, 0, 65536, 0, &from));
    CloseHandle(reader);
#endif
    if (holder == QLatin1String("dead")) {
        other.kill();
        QVERIFY(other.waitForFinished());
    }
    QElapsedTimer waited;
    waited.start();
    const QString saidBySave = startAndSave(f);
    const qint64 ms = waited.elapsed();
    QVERIFY2(waits ? ms >= waits : ms < 1000, qPrintable(QString::number(ms)));
    QVERIFY2(error.isEmpty() ? saidBySave.isEmpty() : saidBySave.contains(error), qPrintable(saidBySave));
    QCOMPARE(f.record(), error.isEmpty() ? QByteArray(" 5\r\nAnna\r\n") : QByteArray(" 3\r\nVecchio\r\n"));
    other.kill();
    other.waitForFinished();
}

// The other game: it takes the lock as every game does, and keeps it.
void TestRecordFiles::holdLock()
{
    const QStringList how = childArgument().split(u'|');
    if (how.size() != 2)
        QSKIP("run by lockedRecord only");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(how[1]) + "/..");  // a runtime folder not the saver's
    std::optional<RecordLock> lock(std::in_place, how[1]), replaced;
    std::fputs("held\n", stdout);
    std::fflush(stdout);
    if (how[0] == QLatin1String("replace")) {
        QTest::qSleep(1000);
        const QByteArray points = QFile::encodeName(how[1] + QStringLiteral("/avortana.txt"));
        writeBytes(QFile::decodeName(points + ".new"), " 1\r\n");
        QCOMPARE(std::rename(points + ".new", points), 0);
        replaced.emplace(how[1]);  // the new file's, then the old one's goes
        lock.reset();
    }
    QTest::qSleep(how[0] == QLatin1String("long") ? 17000 : 2000);
}

void TestRecordFiles::specialFiles_data()
{
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
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
    QTest::newRow("points file a FIFO") << true << "avortana.txt" << "fifo" << "avortana.txt\": è una FIFO (pipe con nome), non un file" << QByteArray("Vecchio\r\n");
    QTest::newRow("name file a socket") << true << "vortana.txt" << "socket" << "vortana.txt\": è un socket, non un file" << QByteArray(" 3\r\n");
    QTest::newRow("points file swapped for a FIFO") << false << "avortana.txt" << "fifo" << "avortana.txt\": è una FIFO (pipe con nome), non un file" << QByteArray("Vecchio\r\n");
    QTest::newRow("name file a link to a FIFO") << false << "vortana.txt" << "link to a FIFO" << "altrove\": è una FIFO (pipe con nome), non un file" << QByteArray(" 3\r\n");
    QTest::newRow("name file a dangling link") << false << "vortana.txt" << "dangling link" << "" << QByteArray(" 5\r\nAnna\r\n");
    // clang-format on
}

// Whatever stands at a name the game uses never makes it wait, and nothing
// but the two files (or their links' targets) is written: an object at a
// name written aside is replaced, one in a record file's place is an error
// in the player's words, and the old record stays.
void TestRecordFiles::specialFiles()
{
    MACHINE_CHECK();
#ifdef Q_OS_UNIX
    QFETCH(bool, atStart);
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QFETCH(QString, error);
    QFETCH(QByteArray, record);
    // A wait shows as a failure, not as a test that never ends.
    ::signal(SIGALRM, [](int) {
        static const char text[] = "FAIL: the game waits on the folder's contents\n";
        (void)!::write(2, text, sizeof text - 1), ::_exit(1);
    });
    ::alarm(20);
    const auto noAlarm = qScopeGuard([] { ::alarm(0); });

    Folder f;
    f.writeOld();
    const QString path = f.dir + u'/' + file, elsewhere = f.tmp.filePath(QStringLiteral("altrove"));
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
            writeBytes(f.at("vortana.journal"), kJournal);
    }
    QString said;
    try {
        startUp(f);
        if (!atStart) {
            make();
            save(f, QStringLiteral(" 5"), QStringLiteral("Anna"));
        }
    } catch (const RuntimeError &e) {
        said = e.message;
    }

    QVERIFY2(error.isEmpty() ? said.isEmpty() : said.endsWith(error), qPrintable(said));
    QCOMPARE(error.isEmpty() ? f.record() : fileBytes(file == QLatin1String("vortana.txt") ? f.points() : f.name()), record);
    if (error.isEmpty()) {
        QCOMPARE(f.entries(), QStringLiteral("avortana.txt vortana.txt"));
    } else {  // the object is left as it was
        const QFileInfo object(kind == QLatin1String("fifo") || kind == QLatin1String("socket") ? path : elsewhere);
        QVERIFY(object.exists() && !object.isFile());
    }
    // A file elsewhere is never written through a link, a dangling link is kept.
    if (kind == QLatin1String("hard link"))
        QCOMPARE(fileBytes(elsewhere), QByteArray("fuori\r\n"));
    if (kind == QLatin1String("dangling link"))
        QVERIFY(QFileInfo(path).isSymLink() && fileBytes(elsewhere) == "Anna\r\n");
#endif
}

void TestRecordFiles::notFiles_data()
{
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::addColumn<bool>("atStart");  // put there before start-up, or before the save
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("record");  // the two files afterwards, the folder's one left out
    QTest::newRow("points file a folder") << true << "avortana.txt" << "avortana.txt\": è una cartella" << QByteArray("Vecchio\r\n");
    QTest::newRow("name file a folder") << true << "vortana.txt" << "vortana.txt\": è una cartella" << QByteArray(" 3\r\n");
    QTest::newRow("name file swapped for a folder") << false << "vortana.txt" << "vortana.txt\": è una cartella" << QByteArray(" 3\r\n");
    QTest::newRow("a folder aside") << false << "avortana.txt.new" << "avortana.txt.new\": è una cartella" << QByteArray(" 3\r\nVecchio\r\n");
    QTest::newRow("a folder at the journal") << false << "vortana.journal" << "vortana.journal\": è una cartella" << QByteArray(" 3\r\nVecchio\r\n");
    // clang-format on
}

// Only regular files are written: a folder where the game would write is
// an error that names it, and the record stays as it was.
void TestRecordFiles::notFiles()
{
    QFETCH(bool, atStart);
    QFETCH(QString, file);
    QFETCH(QString, error);
    QFETCH(QByteArray, record);
    Folder f;
    f.writeOld();
    const QString path = f.dir + u'/' + file;
    const std::function<void()> make = [&] {
        QFile::remove(path);
        QVERIFY(QDir().mkdir(path));
    };
    if (atStart)
        make();
    const QString said = startAndSave(f, make);
    QVERIFY2(said.endsWith(error), qPrintable(said));
    QCOMPARE(f.record(), record);  // a folder reads as nothing
    QVERIFY(QFileInfo(path).isDir());
}

void TestRecordFiles::heldOpen_data()
{
    QTest::addColumn<QString>("file");  // held open by another program
    QTest::addColumn<int>("share");     // how that program shares it (1: FILE_SHARE_READ)
    QTest::addColumn<QString>("cause");
    const QString held = QStringLiteral("il file è aperto da un altro programma");
    QTest::newRow("shared with no one") << "avortana.txt" << 0 << held;
    QTest::newRow("shared for reading only") << "avortana.txt" << 1 << held;
    // The new points are in place when the name can't follow: they go back.
    QTest::newRow("name file, after the points") << "vortana.txt" << 1 << held;
}

// A file another program holds open without sharing it, as some editors
// do on Windows: Windows' answer in the player's words, the record as it was.
void TestRecordFiles::heldOpen()
{
#ifndef Q_OS_WIN
    QSKIP("Windows' sharing modes");
#else
    QFETCH(QString, file);
    QFETCH(int, share);
    QFETCH(QString, cause);
    Folder f;
    f.writeOld();
    HANDLE h = INVALID_HANDLE_VALUE;
    const QString said = startAndSave(f, [&] { h = openShared(f.dir + u'/' + file, DWORD(share)); });
    CloseHandle(h);
    QVERIFY2(said.endsWith(u'\\' + file + QStringLiteral("\": ") + cause), qPrintable(said));
    QCOMPARE(f.record(), QByteArray(" 3\r\nVecchio\r\n"));
    QCOMPARE(f.entries(), QStringLiteral("avortana.txt vortana.txt"));
#endif
}

QTEST_GUILESS_MAIN(TestRecordFiles)
#include "test_recordfiles.moc"
