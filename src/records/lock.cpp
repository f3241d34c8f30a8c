// The record's lock: a kernel record lock (an open file description lock)
// on the points file itself, as a database locks its own file. It needs no
// file of its own, so it is one lock for every game on the folder, whatever
// its user, session or runtime folder, and over NFS, where the server keeps
// it. It goes with the open file: a game that dies, however, lets go of it.
#include "records/files.h"

#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vortana {

using namespace files;

namespace {

const QString kCannotLock = QStringLiteral("Impossibile bloccare il record");

bool lockWhole(int fd)
{
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &whole) == 0;
}

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

RecordLock::RecordLock(const QString &dir)
{
    const QString path = resolve(dir + QLatin1String(kPointsFile));
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        // A points file missing is created empty, as at start-up.
        const int made = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (made >= 0)
            ::close(made);
        else if (errno != EEXIST)
            throw failure(kCannotLock, path, errno);
        struct stat held, now;
        Fd f = openRegular(path, O_RDWR, kCannotLock, &held);
        while (!lockWhole(f.fd)) {
            if (errno != EAGAIN && errno != EACCES && errno != EINTR)
                throw failure(kCannotLock, path, errno);
            if (waited.hasExpired(15'000))
                throw RuntimeError(reason(kCannotLock, path, QStringLiteral("in uso da un'altra partita")));
            QThread::msleep(20);
        }
        // The game that held it may have replaced the file meanwhile; a lock
        // on the old one keeps nobody out.
        if (::lstat(native(path).constData(), &now) == 0 && sameFile(held, now)) {
            fds_.push_back(std::exchange(f.fd, -1));
            return;
        }
    }
}

RecordLock::~RecordLock()
{
    for (const int fd : fds_)
        ::close(fd);
}

void RecordLock::cover(const QString &file)
{
    Fd f = openRegular(file, O_RDWR, kCannotLock);
    if (!lockWhole(f.fd))
        throw failure(kCannotLock, file, errno);
    fds_.push_back(std::exchange(f.fd, -1));
}

}  // namespace vortana
