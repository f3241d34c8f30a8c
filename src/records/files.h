// The record layer's one seam to the operating system. Every system call
// on the record folder goes through here, so that the save protocol and
// the lock read the same on every platform, and a second platform adds a
// file of its own. Nothing standing at a name (a FIFO, a socket, a device,
// a folder, a link) can make a call wait or be written through. A call
// that fails throws a RuntimeError "<what> "<path>": <why>".
#pragma once

#include "records/error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>
#include <utility>

namespace vortana::files {

// An open file, closed when it goes.
class File {
public:
    File() = default;
    explicit File(std::intptr_t handle) : handle_(handle) {}
    File(File &&o) noexcept : handle_(std::exchange(o.handle_, -1)) {}
    File &operator=(File &&o) noexcept
    {
        std::swap(handle_, o.handle_);
        return *this;
    }
    ~File();
    std::intptr_t handle() const { return handle_; }
    std::intptr_t release() { return std::exchange(handle_, -1); }

private:
    std::intptr_t handle_ = -1;
};

enum class Access {
    Read,
    Write,
    Append,
    ReadWrite
};

// What a file written in another's place takes over from it.
struct Standing {
    std::uint32_t mode = 0;
    std::uint32_t group = 0;
};

// "<what> "<path>": <why>", the form of every error about a file.
QString reason(const QString &what, const QString &path, const QString &why);

// What the system's error number means, in the player's words.
QString systemCause(int err);

// The file a record name leads to, through every link, the last one
// included even when its target is missing: a save writes that one and
// keeps the links. Throws at a link that is neither the player's nor root's.
QString resolve(const QString &path);

// How the regular file at `path` stands, or nothing when the name is
// free. Anything but a regular file there is an error.
std::optional<Standing> standing(const QString &path, const QString &what);

// Whether anything at all stands at the name, a dangling link included.
bool exists(const QString &path);

// Creates an empty file where the name is free; what stands there stays.
void createIfMissing(const QString &path, const QString &what);

// Opens an existing regular file, without following a link at the name.
File openRegular(const QString &path, Access access, const QString &what);

// At most `limit` bytes of an open file.
QByteArray read(const File &f, qint64 limit, const QString &path, const QString &what);

// At most `limit` bytes of the regular file at `path`, or nothing for
// anything else there, a link included.
std::optional<QByteArray> readRegular(const QString &path, qint64 limit);

// The bytes as the whole content of an open file, on the disk before it
// returns.
void writeAll(File f, const QString &path, QByteArrayView bytes);

// A new file of the game's own at `path`, on the disk: whatever stood at
// the name goes first. It takes the mode of `like`, and its group where
// the player belongs to that group.
void writeNew(const QString &path, QByteArrayView bytes, const std::optional<Standing> &like = std::nullopt);

// Puts `from` in the place of `to`; on failure `from` goes.
void replace(const QString &from, const QString &to);

// Removes the name; `removeFile` throws where that fails, `discard` not.
void removeFile(const QString &path, const QString &what);
void discard(const QString &path);

// A rename or a removal is on the disk once its folder is flushed.
void syncFolder(const QString &dir);

// Why no file can be created in the folder, or a null text if one can.
QString folderRefusal(const QString &dir);

// Whether the player may write the file.
bool mayWrite(const QString &path);

// Locks the open file for this open alone, shared by every process on the
// machine and over a network share: false while another holds it. Where a
// lock bars reads (Windows), it covers no byte a reader touches.
bool tryLock(const File &f, const QString &path, const QString &what);

// Whether the open file is still the one at the name.
bool stillAt(const File &f, const QString &path);

}  // namespace vortana::files
