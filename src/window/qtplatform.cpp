#include "window/qtplatform.h"

#include "sound/wave.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace vortana {

namespace {

QString soundFolderBase()
{
    // Beside the executable in a build tree, under share/ once installed.
    // The prefix the executable sits in goes before the configured one, so
    // a copy installed elsewhere never plays another installation's sounds.
    QString here = QCoreApplication::applicationDirPath();
    for (const QString &dir : {here, here + QStringLiteral("/../share/vortana"), QStringLiteral(VORTANA_DATADIR)})
        if (QDir(dir + QStringLiteral("/suoni")).exists())
            return QDir::cleanPath(dir);
    return here;
}

}  // namespace

QtPlatform::QtPlatform() : programDir_(soundFolderBase()) {}

QtPlatform::~QtPlatform() = default;

void QtPlatform::quit(int status)
{
    exitStatus_ = status;
    QCoreApplication::exit(status);
}

QString QtPlatform::programDir() const { return programDir_; }

QString QtPlatform::dataDir() const
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

}  // namespace vortana
