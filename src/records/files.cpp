// What the record layer's seam does alike on every platform: the words of
// an error, and where a record name's links lead.
#include "records/files.h"

#include <QDir>
#include <QFile>

namespace vortana::files {

QString reason(const QString &what, const QString &path, const QString &why)
{
    return QStringLiteral("%1 \"%2\": %3").arg(what, QDir::toNativeSeparators(path), why);
}

QString resolve(const QString &path)
{
    QString file = QDir::cleanPath(path);
    // As many links as the kernel follows; a longer chain is refused at the
    // open. Qt reads each link, a dangling one too.
    for (int hops = 0; hops < 40; ++hops) {
        const QString next = QFile::symLinkTarget(file);
        if (next.isEmpty())
            break;
        file = QDir::cleanPath(next);
    }
    return file;
}

}  // namespace vortana::files
