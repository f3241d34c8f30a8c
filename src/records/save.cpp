// The save protocol: a journal made durable before either record file
// changes, each file's new line written aside and renamed into place,
// points first, and the journal finished or thrown away by the next game.
#include "records/files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace vortana {

using namespace files;

namespace {

constexpr char kJournalMagic[] = "vortana-journal-1 ";

// The folder as it really is, so that its journal is found from any path to it.
QString recordFolder(const QString &dir)
{
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(dir) : canonical;
}

QString aside(const QString &file) { return file + QLatin1String(kAsideSuffix); }

void unlinkFile(const QString &path) { ::unlink(native(path).constData()); }

// A record file as a save finds it: where it really is, and how it stands
// there; nothing (a dangling link's target) is fine, anything but a regular
// file is not.
struct Target {
    QString path;
    std::optional<struct stat> st;
};

Target inspect(const QString &name)
{
    Target t{resolve(name), std::nullopt};
    struct stat st;
    if (::lstat(native(t.path).constData(), &st) != 0) {
        if (errno != ENOENT)
            cannotWrite(t.path, errno);
        return t;
    }
    if (const QString why = notRegular(st); !why.isNull())
        throw RuntimeError(reason(QStringLiteral("Impossibile scrivere il file"), t.path, why));
    t.st = st;
    return t;
}

// A file written aside is a new file of the game's own: whatever stands at
// its name (a FIFO, a hard link to a file elsewhere, a leftover) goes first.
// It takes the mode of the file it replaces, and its group where the player
// belongs to that group.
void writeNew(const QString &path, QByteArrayView bytes, const std::optional<struct stat> &like = std::nullopt)
{
    if (::unlink(native(path).constData()) != 0 && errno != ENOENT)
        cannotWrite(path, errno);
    Fd f(::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (f.fd < 0)
        cannotWrite(path, errno);
    if (like) {
        // Refused for a group that is not one of the player's: the file then
        // keeps the group it was created with.
        struct stat made;
        if (::fstat(f.fd, &made) == 0 && made.st_gid != like->st_gid)
            (void)!::fchown(f.fd, uid_t(-1), like->st_gid);
        ::fchmod(f.fd, like->st_mode & 07777);
    }
    writeAll(std::move(f), path, bytes);
}

void renameAside(const QString &file)
{
    if (::rename(native(aside(file)).constData(), native(file).constData()) != 0) {
        const int err = errno;
        unlinkFile(aside(file));
        cannotWrite(file, err);
    }
}

// The new points, under the lock before they take the name.
void replacePoints(const Target &points, QByteArrayView bytes, RecordLock &lock)
{
    writeNew(aside(points.path), bytes, points.st);
    try {
        lock.cover(aside(points.path));
    } catch (const RuntimeError &) {
        unlinkFile(aside(points.path));
        throw;
    }
    renameAside(points.path);
}

// Both lines written aside, then renamed over the two files, points first,
// and the folders flushed. `pointsPlaced` tells a failure after the first
// rename from one before it.
void place(const Target (&files)[2], const QByteArray &points, const QByteArray &name, RecordLock &lock, bool &pointsPlaced)
{
    try {
        writeNew(aside(files[1].path), name, files[1].st);
        replacePoints(files[0], points, lock);
    } catch (const RuntimeError &) {
        unlinkFile(aside(files[1].path));
        throw;
    }
    pointsPlaced = true;
    renameAside(files[1].path);
    const QString pointsFolder = QFileInfo(files[0].path).path(), nameFolder = QFileInfo(files[1].path).path();
    syncFolder(pointsFolder);
    if (nameFolder != pointsFolder)
        syncFolder(nameFolder);
}

void inspectBoth(const QString &folder, Target (&files)[2])
{
    files[0] = inspect(folder + QLatin1String(kPointsFile));
    files[1] = inspect(folder + QLatin1String(kNameFile));
}

// At most `limit` bytes of a regular file, without following a link: a
// FIFO, a device or a link in its place gives nothing.
std::optional<QByteArray> readRegular(const QString &path, qint64 limit)
{
    Fd f(::open(native(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    struct stat st;
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    // Qt's read loop, so that the game itself calls no read(2) that
    // Fortify can't check.
    QFile file;
    if (!file.open(f.fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    return file.read(std::min<qint64>(st.st_size, limit));
}

// The sizes of the two lines, the lines, and a hash of all that: a journal
// cut off anywhere, or damaged, fails the hash.
QByteArray journal(const QByteArray &points, const QByteArray &name)
{
    const QByteArray body = kJournalMagic + QByteArray::number(points.size()) + ' ' + QByteArray::number(name.size())
        + '\n' + points + name;
    return body + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n';
}

}  // namespace

bool saveCutShort(const QString &dir)
{
    struct stat st;
    return ::lstat(native(dir + QLatin1String(kJournalFile)).constData(), &st) == 0;
}

std::optional<std::pair<QByteArray, QByteArray>> parseJournal(QByteArrayView bytes)
{
    const qsizetype start = qsizetype(sizeof kJournalMagic) - 1, eol = bytes.indexOf('\n');
    if (bytes.size() > kJournalLimit || !bytes.startsWith(kJournalMagic) || eol < start || eol > start + 16)
        return std::nullopt;
    const QList<QByteArray> sizes = bytes.sliced(start, eol - start).toByteArray().split(' ');
    qint64 lengths[2];
    for (int i = 0; i < 2; ++i) {
        const QByteArray n = sizes.value(i);
        if (sizes.size() != 2 || n.isEmpty() || n.size() > 6 || !std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        lengths[i] = n.toLongLong();
    }
    const qsizetype end = eol + 1 + lengths[0] + lengths[1];
    if (lengths[0] > kRecordReadLimit || lengths[1] > kRecordReadLimit || bytes.size() != end + 65 || bytes.back() != '\n'
        || QCryptographicHash::hash(bytes.first(end), QCryptographicHash::Sha256).toHex() != bytes.sliced(end, 64))
        return std::nullopt;
    return std::pair{bytes.sliced(eol + 1, lengths[0]).toByteArray(), bytes.sliced(eol + 1 + lengths[0], lengths[1]).toByteArray()};
}

void finishCutSave(const QString &dir, RecordLock &lock)
{
    const QString folder = recordFolder(dir), path = folder + QLatin1String(kJournalFile);
    if (!saveCutShort(folder))
        return;
    // A whole journal was on the disk before either file changed: the save
    // goes on from there. Any other was cut off before that, and both files
    // still hold the old record.
    const auto bytes = readRegular(path, kJournalLimit + 1);
    const auto record = bytes ? parseJournal(*bytes) : std::nullopt;
    Target files[2];
    inspectBoth(folder, files);
    if (record) {
        bool pointsPlaced = false;
        place(files, record->first, record->second, lock, pointsPlaced);
    } else {  // whatever a save that never began left aside goes with it
        unlinkFile(aside(files[0].path));
        unlinkFile(aside(files[1].path));
    }
    // A damaged journal that comes back after a power cut is thrown away
    // again, so only a finished one waits for the folder to be flushed.
    if (::unlink(native(path).constData()) == 0) {
        if (record)
            syncFolder(folder);
    } else if (record) {  // left there, it would carry this record over a later one
        cannotWrite(path, errno);
    }
}

void writeRecord(const QString &dir, const QString &points, const QString &name, RecordLock &lock)
{
    const QString folder = recordFolder(dir), journalPath = folder + QLatin1String(kJournalFile);
    Target files[2];
    inspectBoth(folder, files);
    const QByteArray pointsLine = encodeCp1252(points) + "\r\n", nameLine = encodeCp1252(name) + "\r\n";
    // Kept to put back if the name file can't take the new name.
    const std::optional<QByteArray> before = readRegular(files[0].path, kRecordReadLimit);

    // The folders the files really are in decide, as well as the journal's.
    QString refusal = folderRefusal(folder);
    for (const Target &f : files)
        if (refusal.isNull())
            refusal = folderRefusal(QFileInfo(f.path).path());
    if (!refusal.isNull()) {
        // A shared score folder: its files may be written but not replaced,
        // so each is written in place, and no journal can be kept.
        for (const Target &f : files)
            if (!f.st || ::access(native(f.path).constData(), W_OK) != 0)
                throw RuntimeError(reason(QStringLiteral("Impossibile scrivere il file"), f.path, refusal));
        const QString what = QStringLiteral("Impossibile scrivere il file");
        writeAll(openRegular(files[0].path, O_WRONLY, what), files[0].path, pointsLine);
        try {
            writeAll(openRegular(files[1].path, O_WRONLY, what), files[1].path, nameLine);
        } catch (const RuntimeError &) {
            if (before)
                try {
                    writeAll(openRegular(files[0].path, O_WRONLY, what), files[0].path, *before);
                } catch (const RuntimeError &) {  // NOLINT(bugprone-empty-catch): the first error is the one told
                }
            throw;
        }
        return;
    }

    // A journal that isn't surely on the disk goes: the save has failed,
    // and no later start may finish it.
    try {
        writeNew(journalPath, journal(pointsLine, nameLine));
        syncFolder(folder);
    } catch (const RuntimeError &) {
        unlinkFile(journalPath);
        throw;
    }
    bool pointsPlaced = false;
    try {
        place(files, pointsLine, nameLine, lock, pointsPlaced);
    } catch (const RuntimeError &) {
        // New points beside the old name go back to the old points, on the
        // disk before the journal goes. Only if that fails too does the
        // journal stay, for the next game to finish.
        bool undone = !pointsPlaced;
        if (pointsPlaced && before)
            try {
                replacePoints(files[0], *before, lock);
                syncFolder(QFileInfo(files[0].path).path());
                undone = true;
            } catch (const RuntimeError &) {  // NOLINT(bugprone-empty-catch): the journal stays
            }
        if (undone)
            unlinkFile(journalPath);
        throw;
    }
    unlinkFile(journalPath);
    syncFolder(folder);
}

}  // namespace vortana
