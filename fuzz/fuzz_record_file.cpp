// Any bytes in a record file: read as start-up reads them and shown in an
// auto-size label. No crash, the cap holds, and the label keeps the text.
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

    static Label *label = new Label(true, false);
    label->setCaption(text);
    if (label->caption() != text)
        std::abort();
    return 0;
}
