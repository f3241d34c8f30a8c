#include "records/records.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <unordered_map>

namespace vortana {

RuntimeError::RuntimeError(const QString &m) : std::runtime_error(m.toStdString()), message(m) {}

std::int16_t FileChannels::next() const
{
    std::int16_t n = 1;
    while (used_.count(n))
        ++n;
    return n;
}

namespace {

QString reason(const QString &what, const QString &path, const QString &why)
{
    return QStringLiteral("%1 \"%2\": %3").arg(what, QDir::toNativeSeparators(path), why);
}

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
        throw RuntimeError(reason(QStringLiteral("Impossibile creare la cartella"), dataDir,
                                  QStringLiteral("permesso negato o percorso non valido")));
    return dataDir.endsWith(QLatin1Char('/')) ? dataDir : dataDir + QLatin1Char('/');
}

void touchFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::Append))
        throw RuntimeError(reason(QStringLiteral("Impossibile aprire il file"), path, f.errorString()));
}

QString readRecordFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw RuntimeError(reason(QStringLiteral("Impossibile leggere il file"), path, f.errorString()));
    const QByteArray bytes = f.read(kRecordReadLimit);
    if (f.error() != QFileDevice::NoError)
        throw RuntimeError(reason(QStringLiteral("Impossibile leggere il file"), path, f.errorString()));
    return decodeCp1252(bytes);
}

void lockRecord(QLockFile &lock)
{
    lock.setStaleLockTime(10'000);
    if (lock.tryLock(15'000))
        return;
    const QString why = lock.error() == QLockFile::PermissionError ? QStringLiteral("permesso negato")
                                                                    : QStringLiteral("in uso da un'altra partita");
    throw RuntimeError(reason(QStringLiteral("Impossibile bloccare il record"), lock.fileName(), why));
}

void writeRecord(const QString &pointsPath, const QString &points, const QString &namePath,
                 const QString &name)
{
    QSaveFile p(pointsPath), n(namePath);
    auto fill = [](QSaveFile &f, const QString &line) {
        if (!f.open(QIODevice::WriteOnly))
            throw RuntimeError(reason(QStringLiteral("Impossibile scrivere il file"), f.fileName(), f.errorString()));
        const QByteArray bytes = encodeCp1252(line) + "\r\n";
        if (f.write(bytes) != bytes.size() || !f.flush())
            throw RuntimeError(reason(QStringLiteral("Impossibile scrivere il file"), f.fileName(), f.errorString()));
    };
    fill(p, points);
    fill(n, name);

    // Keep the old points so that a failure to place the name file can
    // put them back instead of leaving new points under the old name.
    QFile old(pointsPath);
    std::optional<QByteArray> oldPoints;
    if (old.open(QIODevice::ReadOnly))
        oldPoints = old.readAll();
    old.close();

    if (!p.commit())
        throw RuntimeError(reason(QStringLiteral("Impossibile scrivere il file"), pointsPath, p.errorString()));
    if (!n.commit()) {
        const QString why = n.errorString();
        if (oldPoints) {
            QSaveFile back(pointsPath);
            if (back.open(QIODevice::WriteOnly) && back.write(*oldPoints) == oldPoints->size())
                back.commit();
        }
        throw RuntimeError(reason(QStringLiteral("Impossibile scrivere il file"), namePath, why));
    }
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
