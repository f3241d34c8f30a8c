// Saving a new record so that no crash can leave it half written.
#pragma once

#include "records/recordfiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <utility>

namespace vortana {

class RecordLock;

// A save's new record, kept until both files hold it.
inline constexpr char kJournalFile[] = "/vortana.journal";
// Beside each file while its new line is written aside.
inline constexpr char kAsideSuffix[] = ".new";
// Both lines and the journal's framing; a longer journal is not the game's.
inline constexpr qint64 kJournalLimit = 2 * kRecordReadLimit + 128;

// Whether a save in `dir` was cut short: its journal is still there.
bool saveCutShort(const QString &dir);

// Under the lock, before the record is read: a complete journal is carried
// into the two files, one damaged or cut off is thrown away.
void finishCutSave(const QString &dir, RecordLock &lock);

// A journal's points and name lines, or nothing if it is damaged, cut off
// or not the game's.
std::optional<std::pair<QByteArray, QByteArray>> parseJournal(QByteArrayView bytes);

// Saves the record into the two files of `dir`, under the lock. The new
// lines go into a journal made durable before either file changes; then
// each file is written aside and renamed into place, points first, and the
// folder flushed. A save cut short anywhere is finished or undone by the
// next game that reads the record, and is on the disk once this returns.
// Where a folder holding either file, or the journal, takes no new files,
// both files are written in place. A record file that is a link keeps it:
// its target is written, created if missing; anything but a regular file
// there is an error, and any object at a name written aside is replaced.
void writeRecord(const QString &dir, const QString &points, const QString &name, RecordLock &lock);

}  // namespace vortana
