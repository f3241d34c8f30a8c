// The record's text: its code page, its number rule, and the files read
// and created at start-up.
#include "records/files.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vortana {

RuntimeError::RuntimeError(const QString &m) : std::runtime_error(m.toStdString()), message(m) {}

std::int16_t FileChannels::next() const
{
    std::int16_t n = 1;
    while (used_.count(n))
        ++n;
    return n;
}

QString systemCause(int err)
{
    switch (err) {
    case EACCES:
        return QStringLiteral("permesso negato");
    case EPERM:
        return QStringLiteral("operazione non permessa");
    case ENOSPC:
        return QStringLiteral("disco pieno");
    case EDQUOT:
        return QStringLiteral("quota del disco esaurita");
    case EROFS:
        return QStringLiteral("disco di sola lettura");
    case EISDIR:
        return QStringLiteral("è una cartella");
    case ENOENT:
        return QStringLiteral("file o cartella inesistente");
    case ENOTDIR:
        return QStringLiteral("una parte del percorso non è una cartella");
    case ELOOP:
        return QStringLiteral("è un collegamento simbolico");
    case EIO:
        return QStringLiteral("errore di lettura o scrittura del disco");
    case ENOLCK:
        return QStringLiteral("il file system non permette di bloccare i file");
    default:
        return QStringLiteral("errore di sistema %1").arg(err);
    }
}

namespace {

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

}  // namespace

// Plain ASCII, the usual record, needs no code page: the converter goes
// through ICU, which costs a megabyte of memory once loaded.
QString decodeCp1252(const QByteArray &bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    return QStringDecoder("windows-1252").decode(bytes);
}

QByteArray encodeCp1252(QStringView text)
{
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLatin1();
    // ICU writes SUB for what the code page lacks; the game writes '?'.
    static const std::unordered_map<char32_t, char> reverse = [] {
        QByteArray all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        const QString decoded = QStringDecoder("windows-1252").decode(all);
        std::unordered_map<char32_t, char> m;
        for (int i = 0; i < 256 && i < decoded.size(); ++i)
            m.emplace(decoded.at(i).unicode(), char(i));
        return m;
    }();
    QByteArray out;
    out.reserve(text.size());
    for (const char32_t cp : text.toUcs4()) {
        const auto it = reverse.find(cp);
        out.append(it == reverse.end() ? '?' : it->second);
    }
    return out;
}

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
    const int made = ::open(files::native(file).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (made >= 0)
        ::close(made);
    else if (errno != EEXIST)
        throw files::failure(what, file, errno);
    files::openRegular(file, O_WRONLY | O_APPEND, what);
}

QString readRecordFile(const QString &path)
{
    const QString file = files::resolve(path), what = QStringLiteral("Impossibile leggere il file");
    const files::Fd f = files::openRegular(file, O_RDONLY, what);
    QFile qf;
    if (!qf.open(f.fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw RuntimeError(files::reason(what, file, qf.errorString()));
    const QByteArray bytes = qf.read(kRecordReadLimit);
    if (qf.error() != QFileDevice::NoError)
        throw RuntimeError(files::reason(what, file, qf.errorString()));
    return decodeCp1252(bytes);
}

double leadingNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype len = text.size();
    auto skip = [&] {
        while (i < len && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n'))
            ++i;
    };
    auto digit = [&] { return i < len && text[i] >= u'0' && text[i] <= u'9'; };

    skip();
    double sign = 1;
    if (i < len && (text[i] == u'+' || text[i] == u'-')) {
        sign = text[i] == u'-' ? -1 : 1;
        ++i;
    }
    double value = 0;
    for (skip(); digit(); skip())
        value = value * 10 + (text[i++].unicode() - u'0');
    if (i < len && text[i] == u'.') {
        ++i;
        double scale = 0.1;
        for (skip(); digit(); skip()) {
            value += (text[i++].unicode() - u'0') * scale;
            scale /= 10;
        }
    }
    return sign * value;
}

int scoreValue(QStringView text)
{
    return text.trimmed().toInt();
}

bool isNewRecord(QStringView recordText, QStringView scoreText)
{
    return leadingNumber(recordText) < scoreValue(scoreText);
}

}  // namespace vortana
