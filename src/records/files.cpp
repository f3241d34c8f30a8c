// What the record layer's seam does alike on every platform: the words of
// an error.
#include "records/files.h"

#include <QDir>

namespace vortana::files {

QString reason(const QString &what, const QString &path, const QString &why)
{
    return QStringLiteral("%1 \"%2\": %3").arg(what, QDir::toNativeSeparators(path), why);
}

}  // namespace vortana::files
