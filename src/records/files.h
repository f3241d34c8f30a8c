// The names the record folder holds, opened so that nothing standing there
// (a FIFO, a socket, a device, a folder, a link) can make the game wait or
// be written through. Shared by the record's reading, its save and its lock.
#pragma once

#include "records/records.h"

#include <QByteArray>
#include <QString>
#include <utility>

struct stat;

namespace vortana::files {

QByteArray native(const QString &path);

// "<what> "<path>": <why>", the form of every error about a file.
QString reason(const QString &what, const QString &path, const QString &why);

// An open file, closed when it goes.
struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    Fd(Fd &&o) noexcept : fd(std::exchange(o.fd, -1)) {}
    Fd &operator=(Fd &&o) noexcept
    {
        std::swap(fd, o.fd);
        return *this;
    }
    ~Fd();
};

// Why the object is not a file the game may read or write, in the
// player's words; a null text for a regular file.
QString notRegular(const struct stat &st);

// Why no file can be created in the folder, or a null text if one can.
QString folderRefusal(const QString &dir);

// An error about `path` from errno `err`, with the folder's refusal where
// that is the cause.
RuntimeError failure(const QString &what, const QString &path, int err);
[[noreturn]] void cannotWrite(const QString &path, int err);

// The file a record name leads to, through every symbolic link, the last
// one included even when its target is missing: a save writes that one and
// keeps the links. Throws at a link that is neither the player's nor root's.
QString resolve(const QString &path);

// Opens an existing regular file without waiting on whatever stands at
// the name, and without following a link there. Throws on any other object.
Fd openRegular(const QString &path, int flags, const QString &what, struct stat *st = nullptr);

// Writes the bytes as the whole content of an open file, on the disk
// before it returns.
void writeAll(Fd f, const QString &path, QByteArrayView bytes);

// A rename or a removal is on the disk once its folder is flushed.
void syncFolder(const QString &dir);

}  // namespace vortana::files
