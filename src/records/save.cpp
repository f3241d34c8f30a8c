// The save protocol: a journal made durable before either record file
// changes, each file's new line written aside and renamed into place,
// points first, and the journal finished or thrown away by the next game.
// Every call on the folder goes through the files seam.
#include "records/save.h"

#include "records/codepage.h"
#include "records/files.h"
#include "records/lock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

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

const QString kCannotWrite = QStringLiteral("Impossibile scrivere il file");

// A record file as a save finds it: where it really is, and how it stands
// there; nothing (a dangling link's target) is fine, anything but a regular
// file is not.
struct Target {
    QString path;
    std::optional<Standing> st;
};

Target inspect(const QString &name)
{
    const QString path = resolve(name);
    return {path, standing(path, kCannotWrite)};
}

void renameAside(const QString &file) { replace(aside(file), file); }

// The new points, under the lock before they take the name.
void replacePoints(const Target &points, QByteArrayView bytes, RecordLock &lock)
{
    try {
        writeNew(aside(points.path), bytes, points.st);
        lock.cover(aside(points.path));
    } catch (const RuntimeError &) {
        discard(aside(points.path));
        throw;
    }
    renameAside(points.path);
    lock.letGoReplaced();
}

// Both lines written aside, then renamed over the two files, points first,
// and the folders flushed. `placed` counts the files that hold their new
// line, so that a failure tells how far the save came.
void place(const Target (&files)[2], const QByteArray &points, const QByteArray &name, RecordLock &lock, int &placed)
{
    try {
        writeNew(aside(files[1].path), name, files[1].st);
        replacePoints(files[0], points, lock);
    } catch (const RuntimeError &) {
        discard(aside(files[1].path));
        throw;
    }
    placed = 1;
    renameAside(files[1].path);
    placed = 2;
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
    return exists(dir + QLatin1String(kJournalFile));
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
        int placed = 0;
        place(files, record->first, record->second, lock, placed);
    } else {  // whatever a save that never began left aside goes with it
        discard(aside(files[0].path));
        discard(aside(files[1].path));
    }
    // A damaged journal that comes back after a power cut is thrown away
    // again, so only a finished one waits for the folder to be flushed.
    // Left there, a finished one would carry this record over a later one.
    if (record) {
        removeFile(path, kCannotWrite);
        syncFolder(folder);
    } else {
        discard(path);
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
            if (!f.st || !mayWrite(f.path))
                throw RuntimeError(reason(kCannotWrite, f.path, refusal));
        writeAll(openRegular(files[0].path, Access::Write, kCannotWrite), files[0].path, pointsLine);
        try {
            writeAll(openRegular(files[1].path, Access::Write, kCannotWrite), files[1].path, nameLine);
        } catch (const RuntimeError &) {
            if (before)
                try {
                    writeAll(openRegular(files[0].path, Access::Write, kCannotWrite), files[0].path, *before);
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
        discard(journalPath);
        throw;
    }
    int placed = 0;
    try {
        place(files, pointsLine, nameLine, lock, placed);
    } catch (const RuntimeError &) {
        // New points beside the old name go back to the old points, on the
        // disk before the journal goes. Where that fails too, or where both
        // files are new but maybe not on the disk, the journal stays for the
        // next game to finish.
        bool undone = placed == 0;
        if (placed == 1 && before)
            try {
                replacePoints(files[0], *before, lock);
                syncFolder(QFileInfo(files[0].path).path());
                undone = true;
            } catch (const RuntimeError &) {  // NOLINT(bugprone-empty-catch): the journal stays
            }
        if (undone)
            discard(journalPath);
        throw;
    }
    discard(journalPath);
    syncFolder(folder);
}

}  // namespace vortana
