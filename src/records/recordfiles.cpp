// The record files as start-up finds them: the folder, the files created
// when missing, and their text.
#include "records/recordfiles.h"

#include "records/codepage.h"
#include "records/files.h"

#include <QDir>

namespace vortana {

QString systemDir(const QString &dataDir)
{
    if (dataDir.isEmpty())
        throw RuntimeError(QStringLiteral("Cartella dei record sconosciuta: nessuna cartella dati dell'utente"));
    if (!QDir().mkpath(dataDir))
        throw RuntimeError(files::reason(QStringLiteral("Impossibile creare la cartella"), dataDir,
                                         QStringLiteral("permesso negato o percorso non valido")));
    return dataDir.endsWith(QLatin1Char('/')) ? dataDir : dataDir + QLatin1Char('/');
}

void touchFile(const QString &path)
{
    // A dangling link's target is created, so that the link stays.
    const QString file = files::resolve(path), what = QStringLiteral("Impossibile aprire il file");
    files::createIfMissing(file, what);
    files::openRegular(file, files::Access::Append, what);
}

QString readRecordFile(const QString &path)
{
    const QString file = files::resolve(path), what = QStringLiteral("Impossibile leggere il file");
    return decodeCp1252(files::read(files::openRegular(file, files::Access::Read, what), kRecordReadLimit, file, what));
}

}  // namespace vortana
