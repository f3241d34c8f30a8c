// The record's lock: a lock on the points file itself, as a database locks
// its own file. It needs no file of its own, so it is one lock for every
// game on the folder, whatever its user, session or runtime folder. It goes
// with the open file: a game that dies, however, lets go of it.
#include "records/lock.h"

#include "records/recordfiles.h"

#include <QElapsedTimer>
#include <QThread>

#include <iterator>

namespace vortana {

namespace {

const QString kCannotLock = QStringLiteral("Impossibile bloccare il record");

}  // namespace

RecordLock::RecordLock(const QString &dir)
{
    const QString path = files::resolve(dir + QLatin1String(kPointsFile));
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        // A points file missing is created empty, as at start-up.
        files::createIfMissing(path, kCannotLock);
        files::File f = files::openRegular(path, files::Access::ReadWrite, kCannotLock);
        while (!files::tryLock(f, path, kCannotLock)) {
            if (waited.hasExpired(15'000))
                throw RuntimeError(files::reason(kCannotLock, path, QStringLiteral("in uso da un'altra partita")));
            QThread::msleep(20);
        }
        // The game that held it may have replaced the file meanwhile; a lock
        // on the old one keeps nobody out.
        if (files::stillAt(f, path)) {
            held_.push_back(std::move(f));
            return;
        }
    }
}

void RecordLock::cover(const QString &file)
{
    files::File f = files::openRegular(file, files::Access::ReadWrite, kCannotLock);
    if (!files::tryLock(f, file, kCannotLock))
        throw RuntimeError(files::reason(kCannotLock, file, QStringLiteral("in uso da un'altra partita")));
    held_.push_back(std::move(f));
}

void RecordLock::letGoReplaced()
{
    // Called once a rename has put the newest covered file at the name: every
    // older handle is on a file it replaced.
    if (!held_.empty())
        held_.erase(held_.begin(), std::prev(held_.end()));
}

}  // namespace vortana
