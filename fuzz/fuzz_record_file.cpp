// Any bytes in a record file: read as start-up reads them and shown in an
// auto-size label. No crash, the cap holds, and the label keeps the text.
// The same bytes as a journal left by a save cut short: start-up finishes
// it if it is whole and throws it away if not, and it is gone either way.
#include "records/records.h"
#include "window/controls.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

namespace {
QApplication *app;
QTemporaryDir *dir;
}

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

    const QString folder = dir->path() + QLatin1Char('/');
    {
        QFile j(folder + QLatin1String(kJournalFile)), n(folder + QLatin1String(kNameFile));
        if (!j.open(QIODevice::WriteOnly) || j.write(bytes) != bytes.size() || !n.open(QIODevice::WriteOnly))
            std::abort();
    }
    const auto lines = parseJournal(bytes);
    finishCutSave(folder);
    auto contents = [&](const char *file) {
        QFile f(folder + QLatin1String(file));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
    };
    if (saveCutShort(folder) || (lines && (contents(kPointsFile) != lines->first || contents(kNameFile) != lines->second))
        || (!lines && (contents(kPointsFile) != bytes || !contents(kNameFile).isEmpty())))
        std::abort();
    return 0;
}
