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

QByteArray native(const QString &path) { return QFile::encodeName(path); }

QString reason(const QString &what, const QString &path, const QString &why)
{
    return QStringLiteral("%1 \"%2\": %3").arg(what, QDir::toNativeSeparators(path), why);
}

Fd::~Fd()
{
    if (fd >= 0)
        ::close(fd);
}

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

// An immutable folder answers EPERM, one the player may not write EACCES.
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

void cannotWrite(const QString &path, int err)
{
    throw failure(QStringLiteral("Impossibile scrivere il file"), path, err);
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

Fd openRegular(const QString &path, int flags, const QString &what, struct stat *st)
{
    struct stat own;
    st = st ? st : &own;
    // Looked at before it is opened: opening a device may already act on it.
    if (::lstat(native(path).constData(), st) == 0)
        if (const QString why = notRegular(*st); !why.isNull())
            throw RuntimeError(reason(what, path, why));
    Fd f(::open(native(path).constData(), flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (f.fd < 0)
        throw failure(what, path, errno);
    if (::fstat(f.fd, st) != 0)
        throw failure(what, path, errno);
    if (const QString why = notRegular(*st); !why.isNull())  // swapped in meanwhile
        throw RuntimeError(reason(what, path, why));
    return f;
}

void writeAll(Fd f, const QString &path, QByteArrayView bytes)
{
    if (::ftruncate(f.fd, 0) != 0)
        cannotWrite(path, errno);
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

void syncFolder(const QString &dir)
{
    Fd f(::open(native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // A file system that can't flush a folder (EINVAL) keeps renames as it can.
    if (f.fd < 0 || (::fsync(f.fd) != 0 && errno != EINVAL))
        throw RuntimeError(reason(QStringLiteral("Impossibile scrivere la cartella"), dir, systemCause(errno)));
}

}  // namespace vortana::files
