#include "records/records.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vortana {

RuntimeError::RuntimeError(const QString &m) : std::runtime_error(m.toStdString()), message(m) {}

std::int16_t FileChannels::next() const
{
    std::int16_t n = 1;
    while (used_.count(n))
        ++n;
    return n;
}

QString systemCause(int err)
{
    switch (err) {
    case EACCES:
        return QStringLiteral("permesso negato");
    case EPERM:
        return QStringLiteral("operazione non permessa");
    case ENOSPC:
        return QStringLiteral("disco pieno");
    case EDQUOT:
        return QStringLiteral("quota del disco esaurita");
    case EROFS:
        return QStringLiteral("disco di sola lettura");
    case EISDIR:
        return QStringLiteral("è una cartella");
    case ENOENT:
        return QStringLiteral("file o cartella inesistente");
    case ENOTDIR:
        return QStringLiteral("una parte del percorso non è una cartella");
    case ELOOP:
        return QStringLiteral("è un collegamento simbolico");
    case EIO:
        return QStringLiteral("errore di lettura o scrittura del disco");
    default:
        return QStringLiteral("errore di sistema %1").arg(err);
    }
}

namespace {

QString reason(const QString &what, const QString &path, const QString &why)
{
    return QStringLiteral("%1 \"%2\": %3").arg(what, QDir::toNativeSeparators(path), why);
}

QByteArray native(const QString &path) { return QFile::encodeName(path); }

constexpr char kJournalMagic[] = "vortana-journal-1 ";

// Why no file can be created in the folder, or a null text if one can. An
// immutable folder answers EPERM, one the player may not write EACCES.
QString folderRefusal(const QString &dir)
{
    if (::access(native(dir).constData(), W_OK | X_OK) == 0)
        return {};
    return errno == EPERM ? QStringLiteral("la cartella non accetta nuovi file") : systemCause(errno);
}

RuntimeError failure(const QString &what, const QString &path, int err)
{
    // A file that can't be created or opened is often the folder's doing.
    const QString folder = err == EPERM || err == EACCES ? folderRefusal(QFileInfo(path).path()) : QString();
    return RuntimeError(reason(what, path, folder.isNull() ? systemCause(err) : folder));
}

[[noreturn]] void cannotWrite(const QString &path, int err)
{
    throw failure(QStringLiteral("Impossibile scrivere il file"), path, err);
}

struct Fd {
    int fd;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Writes the bytes as the whole file, on the disk before it returns. A
// file written in place must exist, and a FIFO there must not hold the game
// up; a new one is never written through a link.
enum class Write { InPlace, New };
void writeFile(const QString &path, QByteArrayView bytes, Write how, const QString &keepModeOf = {})
{
    const int flags = how == Write::New ? O_CREAT | O_NOFOLLOW : O_NONBLOCK;
    Fd f{::open(native(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC | flags, 0666)};
    if (f.fd < 0)
        cannotWrite(path, errno);
    struct stat old;
    if (!keepModeOf.isNull() && ::stat(native(keepModeOf).constData(), &old) == 0)
        ::fchmod(f.fd, old.st_mode & 07777);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(f.fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            cannotWrite(path, errno);
        done += std::max<ssize_t>(n, 0);
    }
    const int fd = std::exchange(f.fd, -1);
    const int synced = ::fsync(fd), err = errno;
    if (::close(fd) != 0 || synced != 0)
        cannotWrite(path, synced != 0 ? err : errno);
}

// A rename or a removal is on the disk once its folder is flushed.
void syncFolder(const QString &dir)
{
    Fd f{::open(native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    // A file system that can't flush a folder (EINVAL) keeps renames as it can.
    if (f.fd < 0 || (::fsync(f.fd) != 0 && errno != EINVAL))
        throw RuntimeError(reason(QStringLiteral("Impossibile scrivere la cartella"), dir, systemCause(errno)));
}

// The file a record path leads to, through any symbolic links: a save
// replaces that one and keeps the links.
QString target(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

QString aside(const QString &file) { return file + QLatin1String(kAsideSuffix); }

void unlinkFile(const QString &path) { ::unlink(native(path).constData()); }

void renameAside(const QString &file)
{
    if (::rename(native(aside(file)).constData(), native(file).constData()) != 0) {
        const int err = errno;
        unlinkFile(aside(file));
        cannotWrite(file, err);
    }
}

// Both lines written aside, then renamed over the two files, points first,
// and the folders flushed. `pointsPlaced` tells a failure after the first
// rename from one before it.
void place(const QString &folder, const QByteArray &points, const QByteArray &name, bool &pointsPlaced)
{
    const QString files[2] = {target(folder + QLatin1String(kPointsFile)), target(folder + QLatin1String(kNameFile))};
    try {
        writeFile(aside(files[0]), points, Write::New, files[0]);
        writeFile(aside(files[1]), name, Write::New, files[1]);
    } catch (const RuntimeError &) {
        unlinkFile(aside(files[0]));
        unlinkFile(aside(files[1]));
        throw;
    }
    try {
        renameAside(files[0]);
    } catch (const RuntimeError &) {
        unlinkFile(aside(files[1]));
        throw;
    }
    pointsPlaced = true;
    renameAside(files[1]);
    const QString pointsFolder = QFileInfo(files[0]).path(), nameFolder = QFileInfo(files[1]).path();
    syncFolder(pointsFolder);
    if (nameFolder != pointsFolder)
        syncFolder(nameFolder);
}

// At most `limit` bytes of a regular file, without following a link: a
// FIFO, a device or a link in its place gives nothing.
std::optional<QByteArray> readRegular(const QString &path, qint64 limit)
{
    Fd f{::open(native(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW)};
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

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

}  // namespace

// Plain ASCII, the usual record, needs no code page: the converter goes
// through ICU, which costs a megabyte of memory once loaded.
QString decodeCp1252(const QByteArray &bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    return QStringDecoder("windows-1252").decode(bytes);
}

QByteArray encodeCp1252(QStringView text)
{
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLatin1();
    // ICU writes SUB for what the code page lacks; the game writes '?'.
    static const std::unordered_map<char32_t, char> reverse = [] {
        QByteArray all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        const QString decoded = QStringDecoder("windows-1252").decode(all);
        std::unordered_map<char32_t, char> m;
        for (int i = 0; i < 256 && i < decoded.size(); ++i)
            m.emplace(decoded.at(i).unicode(), char(i));
        return m;
    }();
    QByteArray out;
    out.reserve(text.size());
    for (const char32_t cp : text.toUcs4()) {
        const auto it = reverse.find(cp);
        out.append(it == reverse.end() ? '?' : it->second);
    }
    return out;
}

QString systemDir(const QString &dataDir)
{
    if (dataDir.isEmpty())
        throw RuntimeError(QStringLiteral("Cartella dei record sconosciuta: nessuna cartella dati dell'utente"));
    if (!QDir().mkpath(dataDir))
        throw RuntimeError(reason(QStringLiteral("Impossibile creare la cartella"), dataDir,
                                  QStringLiteral("permesso negato o percorso non valido")));
    return dataDir.endsWith(QLatin1Char('/')) ? dataDir : dataDir + QLatin1Char('/');
}

void touchFile(const QString &path)
{
    // O_NONBLOCK: a FIFO in the file's place must not hold start-up.
    const int fd = ::open(native(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        throw failure(QStringLiteral("Impossibile aprire il file"), path, errno);
    ::close(fd);
}

QString readRecordFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw RuntimeError(reason(QStringLiteral("Impossibile leggere il file"), path, f.errorString()));
    const QByteArray bytes = f.read(kRecordReadLimit);
    if (f.error() != QFileDevice::NoError)
        throw RuntimeError(reason(QStringLiteral("Impossibile leggere il file"), path, f.errorString()));
    return decodeCp1252(bytes);
}

QString recordLockPath(const QString &dir)
{
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    const QByteArray hash = QCryptographicHash::hash(native(target(dir)), QCryptographicHash::Sha256).toHex();
    return runtime + QStringLiteral("/vortana-") + QLatin1String(hash.left(16)) + QStringLiteral(".lock");
}

void lockRecord(QLockFile &lock)
{
    lock.setStaleLockTime(10'000);
    if (lock.tryLock(15'000))
        return;
    // QLockFile keeps errno to itself: ask the folder what it allows.
    QString why = QStringLiteral("in uso da un'altra partita");
    if (lock.error() != QLockFile::LockFailedError) {
        const QString folder = QFileInfo(lock.fileName()).path();
        struct statvfs fs;
        why = folderRefusal(folder);
        if (why.isNull())
            why = ::statvfs(native(folder).constData(), &fs) == 0 && (fs.f_bavail == 0 || fs.f_favail == 0)
                      ? systemCause(ENOSPC)
                      : QStringLiteral("errore sconosciuto");
    }
    throw RuntimeError(reason(QStringLiteral("Impossibile bloccare il record"), lock.fileName(), why));
}

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

void finishCutSave(const QString &dir)
{
    const QString folder = target(dir), path = folder + QLatin1String(kJournalFile);
    if (!saveCutShort(folder))
        return;
    // A whole journal was on the disk before either file changed: the save
    // goes on from there. Any other was cut off before that, and both files
    // still hold the old record.
    const auto bytes = readRegular(path, kJournalLimit + 1);
    const auto record = bytes ? parseJournal(*bytes) : std::nullopt;
    bool pointsPlaced = false;
    if (record)
        place(folder, record->first, record->second, pointsPlaced);
    // A damaged journal that comes back after a power cut is thrown away
    // again, so only a finished one waits for the folder to be flushed.
    if (::unlink(native(path).constData()) == 0) {
        if (record)
            syncFolder(folder);
    } else if (record) {  // left there, it would carry this record over a later one
        cannotWrite(path, errno);
    }
}

void writeRecord(const QString &dir, const QString &points, const QString &name)
{
    const QString folder = target(dir), journalPath = folder + QLatin1String(kJournalFile);
    const QString pointsPath = folder + QLatin1String(kPointsFile), namePath = folder + QLatin1String(kNameFile);
    const QByteArray pointsLine = encodeCp1252(points) + "\r\n", nameLine = encodeCp1252(name) + "\r\n";
    // Kept to put back if the name file can't take the new name.
    const std::optional<QByteArray> before = readRegular(target(pointsPath), kRecordReadLimit);

    if (const QString refusal = folderRefusal(folder); !refusal.isNull()) {
        // A shared score folder: its files may be written but not replaced,
        // so each is written in place, and no journal can be kept.
        for (const QString &f : {pointsPath, namePath})
            if (::access(native(f).constData(), W_OK) != 0)
                throw RuntimeError(reason(QStringLiteral("Impossibile scrivere il file"), f, refusal));
        writeFile(pointsPath, pointsLine, Write::InPlace);
        try {
            writeFile(namePath, nameLine, Write::InPlace);
        } catch (const RuntimeError &) {
            if (before)
                try {
                    writeFile(pointsPath, *before, Write::InPlace);
                } catch (const RuntimeError &) {
                }
            throw;
        }
        return;
    }

    // A journal that isn't surely on the disk goes: the save has failed,
    // and no later start may finish it.
    try {
        writeFile(journalPath, journal(pointsLine, nameLine), Write::New);
        syncFolder(folder);
    } catch (const RuntimeError &) {
        unlinkFile(journalPath);
        throw;
    }
    bool pointsPlaced = false;
    try {
        place(folder, pointsLine, nameLine, pointsPlaced);
    } catch (const RuntimeError &) {
        // New points beside the old name go back to the old points. Only if
        // that fails too does the journal stay, for the next game to finish.
        bool undone = !pointsPlaced;
        if (pointsPlaced && before)
            try {
                writeFile(aside(target(pointsPath)), *before, Write::New, target(pointsPath));
                renameAside(target(pointsPath));
                undone = true;
            } catch (const RuntimeError &) {
            }
        if (undone)
            unlinkFile(journalPath);
        throw;
    }
    unlinkFile(journalPath);
    syncFolder(folder);
}

double leadingNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype len = text.size();
    auto skip = [&] {
        while (i < len && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n'))
            ++i;
    };
    auto digit = [&] { return i < len && text[i] >= u'0' && text[i] <= u'9'; };

    skip();
    double sign = 1;
    if (i < len && (text[i] == u'+' || text[i] == u'-')) {
        sign = text[i] == u'-' ? -1 : 1;
        ++i;
    }
    double value = 0;
    for (skip(); digit(); skip())
        value = value * 10 + (text[i++].unicode() - u'0');
    if (i < len && text[i] == u'.') {
        ++i;
        double scale = 0.1;
        for (skip(); digit(); skip()) {
            value += (text[i++].unicode() - u'0') * scale;
            scale /= 10;
        }
    }
    return sign * value;
}

int scoreValue(QStringView text)
{
    return text.trimmed().toInt();
}

bool isNewRecord(QStringView recordText, QStringView scoreText)
{
    return leadingNumber(recordText) < scoreValue(scoreText);
}

}  // namespace vortana
