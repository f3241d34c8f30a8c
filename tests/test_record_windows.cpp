// The record's promises kept with Windows' own calls, under Wine: the lock
// every game shares, nothing but regular files written, and each error
// naming its cause. The order of the calls is save_calls.sh's.
#include "files.h"
#include "records/lock.h"
#include "records/recordfiles.h"
#include "records/save.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <windows.h>

using namespace vortana;
using namespace vortana::test;

namespace {

struct Folder {
    QTemporaryDir tmp;
    QString dir = tmp.path() + QStringLiteral("/vortana");
    Folder()
    {
        QDir().mkpath(dir);
        writeBytes(points(), " 3\r\n");
        writeBytes(name(), "Vecchio\r\n");
    }
    QString at(const QString &name) const { return dir + u'/' + name; }
    QString points() const { return at(QStringLiteral("avortana.txt")); }
    QString name() const { return at(QStringLiteral("vortana.txt")); }
    QByteArray record() const { return fileBytes(points()) + fileBytes(name()); }
};

// A file opened by another program, sharing it as told.
HANDLE openShared(const QString &path, DWORD share)
{
    return CreateFileW(QDir::toNativeSeparators(path).toStdWString().c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Start-up, then the exit routine's save; the error it reports, if any.
QString startAndSave(const Folder &f, const std::function<void()> &beforeSave = {})
{
    try {
        touchFile(f.points());
        touchFile(f.name());
        readRecordFile(f.points());
        if (beforeSave)
            beforeSave();
        RecordLock lock(f.dir);
        finishCutSave(f.dir, lock);
        // Windows-1252 as on Linux, '?' for what it lacks.
        writeRecord(f.dir, QStringLiteral(" 5"), QStringLiteral("Annè €Ж"), lock);
    } catch (const RuntimeError &e) {
        return e.message;
    }
    return {};
}

}  // namespace

class TestRecordWindows : public QObject {
    Q_OBJECT
private slots:
    void lockedRecord_data();
    void lockedRecord();
    void holdLock();
    void notFiles_data();
    void notFiles();
    void causes_data();
    void causes();
};

void TestRecordWindows::lockedRecord_data()
{
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::addColumn<QString>("holder");
    QTest::addColumn<int>("waits");  // at least this long, in ms; 0: under a second
    QTest::addColumn<QString>("error");
    QTest::newRow("a live game") << "live" << 2000 << "";
    QTest::newRow("a dead game") << "dead" << 0 << "";
    QTest::newRow("a game that outlives the wait") << "long" << 15000 << "in uso da un'altra partita";
    // clang-format on
}

// Another game, a process of its own, holds the record's lock: a live one
// is waited for, a dead one keeps no one waiting.
void TestRecordWindows::lockedRecord()
{
    QFETCH(QString, holder);
    QFETCH(int, waits);
    QFETCH(QString, error);
    Folder f;
    QProcess other;
    startChild(other, "holdLock", holder + u'|' + f.dir);
    QByteArray said;
    while (!said.contains("held") && other.waitForReadyRead(20000))
        said += other.readAllStandardOutput();
    QVERIFY2(said.contains("held"), other.readAllStandardError().constData());
    // Windows bars reads of locked bytes (Wine does not): the lock leaves
    // every byte a record may hold, 64 KiB, free for a reader's own lock.
    const HANDLE reader = openShared(f.points(), FILE_SHARE_READ | FILE_SHARE_WRITE);
    OVERLAPPED from = {};
    QVERIFY(LockFileEx(reader, LOCKFILE_FAIL_IMMEDIATELY, 0, 65536, 0, &from));
    CloseHandle(reader);
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
    QCOMPARE(f.record(), error.isEmpty() ? QByteArray(" 5\r\nAnn\xE8 \x80?\r\n") : QByteArray(" 3\r\nVecchio\r\n"));
    other.kill();
    other.waitForFinished();
}

// The other game: it takes the lock as every game does, and keeps it.
void TestRecordWindows::holdLock()
{
    const QStringList how = childArgument().split(u'|');
    if (how.size() != 2)
        QSKIP("run by lockedRecord only");
    RecordLock lock(how[1]);
    std::fputs("held\n", stdout);
    std::fflush(stdout);
    QTest::qSleep(how[0] == QLatin1String("long") ? 17000 : 2000);
}

void TestRecordWindows::notFiles_data()
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
void TestRecordWindows::notFiles()
{
    QFETCH(bool, atStart);
    QFETCH(QString, file);
    QFETCH(QString, error);
    QFETCH(QByteArray, record);
    Folder f;
    const auto make = [&] {
        QFile::remove(f.at(file));
        QVERIFY(QDir().mkdir(f.at(file)));
    };
    if (atStart)
        make();
    const QString said = startAndSave(f, make);
    QVERIFY2(said.contains(error), qPrintable(said));
    const bool pointsGone = file == QLatin1String("avortana.txt"), nameGone = file == QLatin1String("vortana.txt");
    QCOMPARE((pointsGone ? QByteArray() : fileBytes(f.points())) + (nameGone ? QByteArray() : fileBytes(f.name())), record);
    QVERIFY(QFileInfo(f.at(file)).isDir());
}

void TestRecordWindows::causes_data()
{
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::addColumn<QString>("file");  // held open by another program
    QTest::addColumn<int>("share");     // how that program shares it
    QTest::addColumn<QString>("cause");
    const QString held = QStringLiteral("il file è aperto da un altro programma");
    QTest::newRow("shared with no one") << "avortana.txt" << 0 << held;
    QTest::newRow("shared for reading only") << "avortana.txt" << int(FILE_SHARE_READ) << held;
    // The new points are in place when the name can't follow: they go back.
    // Replacing a file open elsewhere is refused as access denied.
    QTest::newRow("name file, after the points") << "vortana.txt" << int(FILE_SHARE_READ) << "permesso negato";
    // clang-format on
}

// A file another program holds open without sharing it, as some editors
// do: Windows' answer in the player's words, the record as it was.
void TestRecordWindows::causes()
{
    QFETCH(QString, file);
    QFETCH(int, share);
    QFETCH(QString, cause);
    Folder f;
    HANDLE h = INVALID_HANDLE_VALUE;
    const QString said = startAndSave(f, [&] {
        h = openShared(f.at(file), DWORD(share));
    });
    CloseHandle(h);
    QVERIFY2(said.endsWith(u'\\' + file + QStringLiteral("\": ") + cause), qPrintable(said));
    QCOMPARE(f.record(), QByteArray(" 3\r\nVecchio\r\n"));
    QCOMPARE(QDir(f.dir).entryList(QDir::Files | QDir::Hidden), QStringList({"avortana.txt", "vortana.txt"}));
}

QTEST_GUILESS_MAIN(TestRecordWindows)
#include "test_record_windows.moc"
