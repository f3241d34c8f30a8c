// The two record files: where they live, how they are read, created and
// written, and how the stored points turn back into a number.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <set>
#include <stdexcept>

class QLockFile;

namespace vortana {

inline constexpr char kPointsFile[] = "/avortana.txt";
inline constexpr char kNameFile[] = "/vortana.txt";
inline constexpr char kLockFile[] = "/vortana.lock";

// Reading stops here: a record the game writes is far shorter, and a huge
// file would otherwise freeze start-up while the label lays it out.
inline constexpr qint64 kRecordReadLimit = 64 * 1024;
// Longest name the prompt takes, so every record written reads back whole.
inline constexpr int kMaxNameLength = 32767;

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

// The player's data folder, created when missing, with a trailing "/".
QString systemDir(const QString &dataDir);

// Creates the file empty when missing; an existing one is left untouched.
void touchFile(const QString &path);

// The file's text, line end included, decoded from Windows-1252.
QString readRecordFile(const QString &path);

// Takes the record's lock, waiting while another game holds it. A lock
// left by a game that died is taken over; so is one held longer than any
// save can take. Throws when the lock can't be had.
void lockRecord(QLockFile &lock);

// Both files are written aside and put in place together, points first,
// so a failure leaves the old record or the new one and never a mix.
void writeRecord(const QString &pointsPath, const QString &points, const QString &namePath,
                 const QString &name);

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
