// The record folder on POSIX systems: opened without waiting on whatever
// stands at a name, written durably, and locked with an open file
// description lock, which every game on the folder shares, over NFS too.
#include "records/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vortana::files {

namespace {

QByteArray native(const QString &path) { return QFile::encodeName(path); }

int fdOf(const File &f) { return int(f.handle()); }

// Why the object is not a file the game may read or write, in the
// player's words; a null text for a regular file.
QString notRegular(const struct stat &st)
{
    switch (st.st_mode & S_IFMT) {
    case S_IFREG:
        return {};
    case S_IFDIR:
        return systemCause(EISDIR);
    case S_IFLNK:
        return systemCause(ELOOP);
    case S_IFIFO:
        return QStringLiteral("è una FIFO (pipe con nome), non un file");
    case S_IFSOCK:
        return QStringLiteral("è un socket, non un file");
    case S_IFCHR:
    case S_IFBLK:
        return QStringLiteral("è un dispositivo, non un file");
    default:
        return QStringLiteral("non è un file");
    }
}

// An error about `path` from errno `err`, with the folder's refusal where
// that is the cause: a file that can't be created or opened is often the
// folder's doing.
RuntimeError failure(const QString &what, const QString &path, int err)
{
    const QString folder = err == EPERM || err == EACCES ? folderRefusal(QFileInfo(path).path()) : QString();
    return RuntimeError(reason(what, path, folder.isNull() ? systemCause(err) : folder));
}

const QString kCannotWrite = QStringLiteral("Impossibile scrivere il file");

[[noreturn]] void cannotWrite(const QString &path, int err) { throw failure(kCannotWrite, path, err); }

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

File::~File()
{
    if (handle_ >= 0)
        ::close(int(handle_));
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
    case ENOLCK:
        return QStringLiteral("il file system non permette di bloccare i file");
    default:
        return QStringLiteral("errore di sistema %1").arg(err);
    }
}

QString resolve(const QString &path)
{
    // Walked name by name, folders included: a link is followed only when
    // it is the player's or root's. In a shared folder another player's link
    // could lead anywhere the player may write, and the kernel's own guard
    // (protected_symlinks) sees none of this, as the game reads links itself.
    QStringList rest = QFileInfo(path).absoluteFilePath().split(u'/', Qt::SkipEmptyParts);
    QString file;
    for (int hops = 0; !rest.isEmpty();) {
        const QString next = file + u'/' + rest.takeFirst();
        struct stat st;
        // As many links as the kernel follows; a longer chain is refused at the open.
        if (::lstat(native(next).constData(), &st) != 0 || !S_ISLNK(st.st_mode) || hops++ >= 40) {
            file = QDir::cleanPath(next);
            continue;
        }
        if (st.st_uid != ::geteuid() && st.st_uid != 0)
            throw RuntimeError(reason(QStringLiteral("Impossibile seguire il collegamento"), next,
                                      QStringLiteral("appartiene a un altro utente")));
        // Qt reads the link, a dangling one too, as a path from the root,
        // whose folders are walked again.
        const QString to = QFile::symLinkTarget(next);
        rest = to.split(u'/', Qt::SkipEmptyParts) + rest;
        file = to.isEmpty() ? next : QString();
    }
    return file.isEmpty() ? QStringLiteral("/") : file;
}

std::optional<Standing> standing(const QString &path, const QString &what)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0) {
        if (errno != ENOENT)
            throw failure(what, path, errno);
        return std::nullopt;
    }
    if (const QString why = notRegular(st); !why.isNull())
        throw RuntimeError(reason(what, path, why));
    return Standing{st.st_mode, st.st_gid};
}

bool exists(const QString &path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0;
}

void createIfMissing(const QString &path, const QString &what)
{
    const int made = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (made >= 0)
        ::close(made);
    else if (errno != EEXIST)
        throw failure(what, path, errno);
}

File openRegular(const QString &path, Access access, const QString &what)
{
    static constexpr int kFlags[] = {O_RDONLY, O_WRONLY, O_WRONLY | O_APPEND, O_RDWR};
    struct stat st;
    // Looked at before it is opened: opening a device may already act on it.
    if (::lstat(native(path).constData(), &st) == 0)
        if (const QString why = notRegular(st); !why.isNull())
            throw RuntimeError(reason(what, path, why));
    File f(::open(native(path).constData(), kFlags[int(access)] | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (f.handle() < 0)
        throw failure(what, path, errno);
    if (::fstat(fdOf(f), &st) != 0)
        throw failure(what, path, errno);
    if (const QString why = notRegular(st); !why.isNull())  // swapped in meanwhile
        throw RuntimeError(reason(what, path, why));
    return f;
}

QByteArray read(const File &f, qint64 limit, const QString &path, const QString &what)
{
    // Qt's read loop, so that the game itself calls no read(2) that
    // Fortify can't check.
    QFile qf;
    if (!qf.open(fdOf(f), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw RuntimeError(reason(what, path, qf.errorString()));
    QByteArray bytes = qf.read(limit);
    if (qf.error() != QFileDevice::NoError)
        throw RuntimeError(reason(what, path, qf.errorString()));
    return bytes;
}

std::optional<QByteArray> readRegular(const QString &path, qint64 limit)
{
    File f(::open(native(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    struct stat st;
    if (f.handle() < 0 || ::fstat(fdOf(f), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    QFile file;
    if (!file.open(fdOf(f), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    return file.read(std::min<qint64>(st.st_size, limit));
}

void writeAll(File f, const QString &path, QByteArrayView bytes)
{
    if (::ftruncate(fdOf(f), 0) != 0)
        cannotWrite(path, errno);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fdOf(f), bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            cannotWrite(path, errno);
        done += std::max<ssize_t>(n, 0);
    }
    const int fd = int(f.release());
    const int synced = ::fsync(fd), err = errno;
    if (::close(fd) != 0 || synced != 0)
        cannotWrite(path, synced != 0 ? err : errno);
}

void writeNew(const QString &path, QByteArrayView bytes, const std::optional<Standing> &like)
{
    // A FIFO, a hard link to a file elsewhere or a leftover at the name
    // goes: the game writes nothing but new files of its own.
    if (::unlink(native(path).constData()) != 0 && errno != ENOENT)
        cannotWrite(path, errno);
    File f(::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (f.handle() < 0)
        cannotWrite(path, errno);
    if (like) {
        // Refused for a group that is not one of the player's: the file then
        // keeps the group it was created with.
        struct stat made;
        if (::fstat(fdOf(f), &made) == 0 && made.st_gid != like->group)
            (void)!::fchown(fdOf(f), uid_t(-1), gid_t(like->group));
        ::fchmod(fdOf(f), mode_t(like->mode & 07777));
    }
    writeAll(std::move(f), path, bytes);
}

void replace(const QString &from, const QString &to)
{
    if (::rename(native(from).constData(), native(to).constData()) != 0) {
        const int err = errno;
        discard(from);
        cannotWrite(to, err);
    }
}

void removeFile(const QString &path, const QString &what)
{
    if (::unlink(native(path).constData()) != 0)
        throw failure(what, path, errno);
}

void discard(const QString &path) { ::unlink(native(path).constData()); }

void syncFolder(const QString &dir)
{
    File f(::open(native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // A file system that can't flush a folder (EINVAL) keeps renames as it can.
    if (f.handle() < 0 || (::fsync(fdOf(f)) != 0 && errno != EINVAL))
        throw RuntimeError(reason(QStringLiteral("Impossibile scrivere la cartella"), dir, systemCause(errno)));
}

// An immutable folder answers EPERM, one the player may not write EACCES.
QString folderRefusal(const QString &dir)
{
    if (::access(native(dir).constData(), W_OK | X_OK) == 0)
        return {};
    return errno == EPERM ? QStringLiteral("la cartella non accetta nuovi file") : systemCause(errno);
}

bool mayWrite(const QString &path) { return ::access(native(path).constData(), W_OK) == 0; }

bool tryLock(const File &f, const QString &path, const QString &what)
{
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fdOf(f), F_OFD_SETLK, &whole) == 0)
        return true;
    if (errno != EAGAIN && errno != EACCES && errno != EINTR)
        throw failure(what, path, errno);
    return false;
}

bool stillAt(const File &f, const QString &path)
{
    struct stat held, now;
    return ::fstat(fdOf(f), &held) == 0 && ::lstat(native(path).constData(), &now) == 0 && sameFile(held, now);
}

}  // namespace vortana::files
