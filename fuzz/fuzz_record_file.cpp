// Any bytes in a record file: read as start-up reads them and shown in an
// auto-size label. No crash, the cap holds, and the label keeps the text.
// The same bytes as a journal left by a save cut short, beside files left
// at the names written aside (one a hard link to a file elsewhere): under
// the record's lock, start-up finishes the journal if it is whole and throws
// it away if not. The journal and the aside names are gone either way, the
// file elsewhere is untouched, and the lock covers the points file then at
// the name.
#include "records/codepage.h"
#include "records/lock.h"
#include "records/number.h"
#include "records/recordfiles.h"
#include "records/save.h"
#include "window/controls.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {
QApplication *app;
QTemporaryDir *dir;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = new QApplication(*argc, *argv);
    dir = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace vortana;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = dir->filePath(QStringLiteral("avortana.txt"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            std::abort();
    }
    const QString text = readRecordFile(path);
    if (text.size() > kRecordReadLimit || text != decodeCp1252(bytes.left(kRecordReadLimit)))
        std::abort();

    static Label *label = new Label(QString(), true, false);
    label->setCaption(text);
    if (label->caption() != text)
        std::abort();

    const QString folder = dir->path() + QLatin1Char('/'), outside = dir->filePath(QStringLiteral("fuori"));
    const QString asides[2] = {folder + QLatin1String(kPointsFile) + QLatin1String(kAsideSuffix),
                               folder + QLatin1String(kNameFile) + QLatin1String(kAsideSuffix)};
    {
        QFile j(folder + QLatin1String(kJournalFile)), n(folder + QLatin1String(kNameFile)), o(outside), a(asides[1]);
        if (!j.open(QIODevice::WriteOnly) || j.write(bytes) != bytes.size() || !n.open(QIODevice::WriteOnly)
            || !o.open(QIODevice::WriteOnly) || o.write(bytes) != bytes.size() || !a.open(QIODevice::WriteOnly)
            || a.write(bytes) != bytes.size())
            std::abort();
    }
    QFile::remove(asides[0]);
    if (::link(QFile::encodeName(outside).constData(), QFile::encodeName(asides[0]).constData()) != 0)
        std::abort();
    const auto lines = parseJournal(bytes);
    {
        RecordLock lock(folder);
        finishCutSave(folder, lock);
        // Another open of the points file now at the name meets the lock.
        const int fd = ::open(QFile::encodeName(folder + QLatin1String(kPointsFile)).constData(), O_RDWR | O_CLOEXEC);
        struct flock probe = {};
        probe.l_type = F_WRLCK;
        if (fd < 0 || ::fcntl(fd, F_OFD_GETLK, &probe) != 0 || probe.l_type == F_UNLCK)
            std::abort();
        ::close(fd);
    }
    auto contents = [&](const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
    };
    const QString points = folder + QLatin1String(kPointsFile), name = folder + QLatin1String(kNameFile);
    if (saveCutShort(folder) || QFile::exists(asides[0]) || QFile::exists(asides[1]) || contents(outside) != bytes
        || (lines && (contents(points) != lines->first || contents(name) != lines->second))
        || (!lines && (contents(points) != bytes || !contents(name).isEmpty())))
        std::abort();
    return 0;
}
