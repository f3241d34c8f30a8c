// The record folder on Windows. Every file is opened shared for reading,
// writing and deleting, so that no game's handle stops another game's
// rename; writes are made durable with FlushFileBuffers and renames with
// MOVEFILE_WRITE_THROUGH; the lock is LockFileEx on one byte far past the
// end of the points file, which every game on the folder shares and which
// no read of the record ever touches (Windows' locks bar reads too).
#include "records/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <vector>
#include <windows.h>

namespace vortana::files {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kLockByte = 0xFFFFFFF0;  // below 4 GiB: FAT and old SMB servers lock it too
constexpr DWORD kQuotaExceeded = 1295;   // ERROR_DISK_QUOTA_EXCEEDED, missing from MinGW's headers
// What a replaced file passes on to the new one.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::wstring native(const QString &path) { return QDir::toNativeSeparators(path).toStdWString(); }

HANDLE handleOf(const File &f) { return reinterpret_cast<HANDLE>(f.handle()); }

// The object at the name itself: a link or junction there is not followed.
File openAt(const QString &path, DWORD access, DWORD disposition, DWORD flags = 0)
{
    return File(reinterpret_cast<std::intptr_t>(CreateFileW(native(path).c_str(), access, kShareAll, nullptr, disposition,
                                                            FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr)));
}

// Why the object is not a file the game may read or write, in the
// player's words; a null text for a regular file.
QString notRegular(DWORD attributes, DWORD type = FILE_TYPE_DISK)
{
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return QStringLiteral("è una cartella");
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return QStringLiteral("è un collegamento simbolico");
    if (attributes & FILE_ATTRIBUTE_DEVICE || type == FILE_TYPE_CHAR)
        return QStringLiteral("è un dispositivo, non un file");
    if (type == FILE_TYPE_PIPE)
        return QStringLiteral("è una pipe, non un file");
    return type == FILE_TYPE_DISK ? QString() : QStringLiteral("non è un file");
}

// The attributes of whatever stands at the name, without opening it.
std::optional<DWORD> attributesAt(const QString &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(native(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return data.dwFileAttributes;
}

bool missing(DWORD err) { return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND; }

// An error about `path`, with the folder's refusal where that is the cause.
RuntimeError failure(const QString &what, const QString &path, DWORD err)
{
    if (const auto attributes = attributesAt(path))
        if (const QString why = notRegular(*attributes); !why.isNull())
            return RuntimeError(reason(what, path, why));
    const QString folder = err == ERROR_ACCESS_DENIED ? folderRefusal(QFileInfo(path).path()) : QString();
    return RuntimeError(reason(what, path, folder.isNull() ? systemCause(int(err)) : folder));
}

const QString kCannotWrite = QStringLiteral("Impossibile scrivere il file");

[[noreturn]] void cannotWrite(const QString &path, DWORD err) { throw failure(kCannotWrite, path, err); }

// The object as the file system knows it: the same file at any name.
std::optional<std::pair<DWORD, std::uint64_t>> identity(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info))
        return std::nullopt;
    return std::pair{info.dwVolumeSerialNumber, (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// Whether the player's rights on the object allow `access`, from its
// access control list: a null text, or why not.
QString refusal(const QString &path, DWORD access)
{
    const std::wstring name = native(path);
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityW(name.c_str(), parts, nullptr, 0, &size);
    std::vector<char> descriptor(size);
    HANDLE process = nullptr, token = nullptr;
    if (size == 0 || !GetFileSecurityW(name.c_str(), parts, descriptor.data(), size, &size)
        || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process))
        return missing(GetLastError()) ? systemCause(int(GetLastError())) : QString();  // unknown: the call will tell
    const bool duplicated = DuplicateToken(process, SecurityImpersonation, &token);
    CloseHandle(process);
    if (!duplicated)
        return {};
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    PRIVILEGE_SET privileges;
    DWORD privilegesSize = sizeof privileges, granted = 0;
    BOOL allowed = TRUE;
    MapGenericMask(&access, &mapping);
    const bool checked = AccessCheck(descriptor.data(), token, access, &mapping, &privileges, &privilegesSize, &granted, &allowed);
    CloseHandle(token);
    return !checked || allowed ? QString() : systemCause(ERROR_ACCESS_DENIED);
}

}  // namespace

File::~File()
{
    if (handle_ >= 0)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

QString systemCause(int err)
{
    switch (DWORD(err)) {
    case ERROR_ACCESS_DENIED:
        return QStringLiteral("permesso negato");
    case ERROR_SHARING_VIOLATION:
        return QStringLiteral("il file è aperto da un altro programma");
    case ERROR_LOCK_VIOLATION:
        return QStringLiteral("il file è bloccato da un altro programma");
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return QStringLiteral("disco pieno");
    case kQuotaExceeded:
        return QStringLiteral("quota del disco esaurita");
    case ERROR_WRITE_PROTECT:
        return QStringLiteral("disco di sola lettura");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return QStringLiteral("file o cartella inesistente");
    case ERROR_DIRECTORY:
        return QStringLiteral("una parte del percorso non è una cartella");
    case ERROR_CANT_RESOLVE_FILENAME:
        return QStringLiteral("è un collegamento simbolico");
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_IO_DEVICE:
        return QStringLiteral("errore di lettura o scrittura del disco");
    case ERROR_NOT_READY:
        return QStringLiteral("il disco non è pronto");
    case ERROR_NOT_SUPPORTED:
        return QStringLiteral("il file system non permette di bloccare i file");
    default:
        return QStringLiteral("errore di sistema %1").arg(err);
    }
}

QString resolve(const QString &path)
{
    // Only an administrator, or a developer's account, may make a link on
    // Windows: each is followed, as many as the system would.
    QString file = QDir::cleanPath(path);
    for (int hops = 0; hops < 40; ++hops) {
        const QString next = QFile::symLinkTarget(file);
        if (next.isEmpty())
            break;
        file = QDir::cleanPath(next);
    }
    return file;
}

std::optional<Standing> standing(const QString &path, const QString &what)
{
    const auto attributes = attributesAt(path);
    if (!attributes) {
        if (const DWORD err = GetLastError(); !missing(err))
            throw failure(what, path, err);
        return std::nullopt;
    }
    if (const QString why = notRegular(*attributes); !why.isNull())
        throw RuntimeError(reason(what, path, why));
    return Standing{*attributes, 0};
}

bool exists(const QString &path) { return attributesAt(path).has_value(); }

void createIfMissing(const QString &path, const QString &what)
{
    if (openAt(path, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL).handle() < 0) {
        const DWORD err = GetLastError();
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS && !exists(path))
            throw failure(what, path, err);
    }
}

File openRegular(const QString &path, Access access, const QString &what)
{
    static constexpr DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, FILE_APPEND_DATA | SYNCHRONIZE, GENERIC_READ | GENERIC_WRITE};
    // Looked at before it is opened: opening a device may already act on it.
    if (const auto attributes = attributesAt(path))
        if (const QString why = notRegular(*attributes); !why.isNull())
            throw RuntimeError(reason(what, path, why));
    File f = openAt(path, kAccess[int(access)], OPEN_EXISTING);
    if (f.handle() < 0)
        throw failure(what, path, GetLastError());
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handleOf(f), &info))
        throw failure(what, path, GetLastError());
    if (const QString why = notRegular(info.dwFileAttributes, GetFileType(handleOf(f))); !why.isNull())  // swapped in meanwhile
        throw RuntimeError(reason(what, path, why));
    return f;
}

QByteArray read(const File &f, qint64 limit, const QString &path, const QString &what)
{
    QByteArray bytes;
    char buffer[16384];
    for (DWORD n = 1; n > 0 && bytes.size() < limit;) {
        if (!ReadFile(handleOf(f), buffer, DWORD(std::min<qint64>(sizeof buffer, limit - bytes.size())), &n, nullptr))
            throw RuntimeError(reason(what, path, systemCause(int(GetLastError()))));
        bytes.append(buffer, n);
    }
    return bytes;
}

std::optional<QByteArray> readRegular(const QString &path, qint64 limit)
{
    const auto attributes = attributesAt(path);
    if (!attributes || !notRegular(*attributes).isNull())
        return std::nullopt;
    File f = openAt(path, GENERIC_READ, OPEN_EXISTING);
    if (f.handle() < 0 || GetFileType(handleOf(f)) != FILE_TYPE_DISK)
        return std::nullopt;
    try {
        return read(f, limit, path, QString());
    } catch (const RuntimeError &) {
        return std::nullopt;
    }
}

void writeAll(File f, const QString &path, QByteArrayView bytes)
{
    const HANDLE h = handleOf(f);
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(h, start, nullptr, FILE_BEGIN) || !SetEndOfFile(h))
        cannotWrite(path, GetLastError());
    for (qsizetype done = 0; done < bytes.size();) {
        DWORD n = 0;
        if (!WriteFile(h, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr))
            cannotWrite(path, GetLastError());
        done += n;
    }
    if (!FlushFileBuffers(h))
        cannotWrite(path, GetLastError());
    if (!CloseHandle(reinterpret_cast<HANDLE>(f.release())))
        cannotWrite(path, GetLastError());
}

void writeNew(const QString &path, QByteArrayView bytes, const std::optional<Standing> &like)
{
    // A leftover at the name goes: the game writes nothing but new files of
    // its own.
    if (!DeleteFileW(native(path).c_str()) && !missing(GetLastError()))
        cannotWrite(path, GetLastError());
    const DWORD kept = like ? like->mode & kKeptAttributes : 0;
    File f = openAt(path, GENERIC_WRITE, CREATE_NEW, kept ? kept : FILE_ATTRIBUTE_NORMAL);
    if (f.handle() < 0)
        cannotWrite(path, GetLastError());
    writeAll(std::move(f), path, bytes);
}

void replace(const QString &from, const QString &to)
{
    constexpr DWORD kMove = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExW(native(from).c_str(), native(to).c_str(), kMove))
        return;
    DWORD err = GetLastError();
    // A file some game holds open (the lock's holder, or a game waiting for
    // it) can be renamed but not replaced: it steps aside first, and goes
    // once the last game lets it go.
    if (err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION) {
        const QString old = to + QStringLiteral(".old");
        DeleteFileW(native(old).c_str());
        if (MoveFileExW(native(to).c_str(), native(old).c_str(), kMove)) {
            if (MoveFileExW(native(from).c_str(), native(to).c_str(), kMove)) {
                DeleteFileW(native(old).c_str());
                return;
            }
            err = GetLastError();
            MoveFileExW(native(old).c_str(), native(to).c_str(), kMove);
        } else {  // why the file can't step aside is the cause the player can act on
            err = GetLastError();
        }
    }
    discard(from);
    cannotWrite(to, err);
}

void removeFile(const QString &path, const QString &what)
{
    if (!DeleteFileW(native(path).c_str()))
        throw failure(what, path, GetLastError());
}

void discard(const QString &path) { DeleteFileW(native(path).c_str()); }

// Windows flushes a folder only where the file system lets a player's
// program open one for writing (NTFS does not): the renames themselves
// were written through.
void syncFolder(const QString &dir)
{
    File f = openAt(dir, GENERIC_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (f.handle() >= 0)
        FlushFileBuffers(handleOf(f));
}

QString folderRefusal(const QString &dir)
{
    const QString why = refusal(dir, FILE_ADD_FILE | FILE_DELETE_CHILD);
    return why == systemCause(ERROR_ACCESS_DENIED) ? QStringLiteral("la cartella non accetta nuovi file") : why;
}

bool mayWrite(const QString &path)
{
    const auto attributes = attributesAt(path);
    return attributes && !(*attributes & FILE_ATTRIBUTE_READONLY) && refusal(path, FILE_WRITE_DATA).isNull();
}

bool tryLock(const File &f, const QString &path, const QString &what)
{
    OVERLAPPED at = {};
    at.Offset = kLockByte;
    if (LockFileEx(handleOf(f), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return true;
    const DWORD err = GetLastError();
    if (err != ERROR_LOCK_VIOLATION && err != ERROR_IO_PENDING)
        throw failure(what, path, err);
    return false;
}

bool stillAt(const File &f, const QString &path)
{
    const File now = openAt(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    const auto held = identity(handleOf(f));
    return now.handle() >= 0 && held && held == identity(handleOf(now));
}

}  // namespace vortana::files
