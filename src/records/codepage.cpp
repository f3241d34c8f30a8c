#include "records/codepage.h"

#include <QList>
#include <QStringDecoder>
#include <algorithm>
#include <unordered_map>

namespace vortana {

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

}  // namespace vortana
