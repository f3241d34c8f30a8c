// The two record files: where they live, how they are read, created and
// written, and how the stored points turn back into a number.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

namespace vortana {

inline constexpr char kPointsFile[] = "/avortana.txt";
inline constexpr char kNameFile[] = "/vortana.txt";
// A save's new record, kept until both files hold it.
inline constexpr char kJournalFile[] = "/vortana.journal";
// Beside each file while its new line is written aside.
inline constexpr char kAsideSuffix[] = ".new";

// Reading stops here: a record the game writes is far shorter, and a huge
// file would otherwise freeze start-up while the label lays it out.
inline constexpr qint64 kRecordReadLimit = qint64{64} * 1024;
// Longest name the prompt takes, so every record written reads back whole.
inline constexpr int kMaxNameLength = 32767;
// Both lines and the journal's framing; a longer journal is not the game's.
inline constexpr qint64 kJournalLimit = 2 * kRecordReadLimit + 128;

// An error that ends the running handler; the game reports it and stops.
struct RuntimeError : std::runtime_error {
    explicit RuntimeError(const QString &message);
    QString message;
};

// Numbered file channels: the lowest free number, given back on close.
class FileChannels {
public:
    // Holds a channel for as long as one file is open on it.
    class Lease {
    public:
        Lease(FileChannels &c, std::int16_t n) : c_(c), n_(n) { c_.used_.insert(n_); }
        ~Lease() { c_.used_.erase(n_); }
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;

    private:
        FileChannels &c_;
        std::int16_t n_;
    };

    std::int16_t next() const;
    bool inUse(std::int16_t n) const { return used_.count(n) != 0; }

private:
    std::set<std::int16_t> used_;
};

// What the system said of a failed file operation (an errno), in the game's words.
QString systemCause(int err);

// The player's data folder, created when missing, with a trailing "/".
QString systemDir(const QString &dataDir);

// Creates the file empty when missing, a dangling link's target included;
// an existing one is left untouched. Nothing but a regular file will do.
void touchFile(const QString &path);

// The file's text, line end included, decoded from Windows-1252. Nothing
// standing there can make the read wait.
QString readRecordFile(const QString &path);

// The record's lock, shared by every game on the folder `dir`: taken on
// the points file itself, waiting up to 15 s while a live game holds it.
// A save covers each file it puts in the points file's place, so that the
// lock follows the name. Throws when the lock can't be had.
class RecordLock {
public:
    explicit RecordLock(const QString &dir);
    ~RecordLock();
    RecordLock(const RecordLock &) = delete;
    RecordLock &operator=(const RecordLock &) = delete;
    void cover(const QString &file);

private:
    std::vector<int> fds_;
};

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

QByteArray encodeCp1252(QStringView text);  // unmappable characters become '?'
QString decodeCp1252(const QByteArray &bytes);

// Blanks, tabs and line feeds are skipped anywhere; then an optional
// sign, digits, and an optional "." with more digits. Anything else ends
// the number; no number at all gives 0.
double leadingNumber(QStringView text);

// The score as shown, read back whole: blanks around it are allowed.
int scoreValue(QStringView text);

// Whether the score as shown beats the record as stored.
bool isNewRecord(QStringView recordText, QStringView scoreText);

}  // namespace vortana
