#include "records/codepage.h"

#include <QList>
#include <algorithm>
#include <unordered_map>

namespace vortana {

namespace {

// Windows-1252 from 0x80 to 0x9F, as Windows converts it (the five bytes
// it leaves undefined stand for the C1 controls, as ICU has them too); the
// rest is Latin-1. A table of our own: Qt for Windows has no ICU, and on
// Linux ICU's converter costs a megabyte of memory once loaded.
constexpr char16_t kHighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

QString decodeCp1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        text[i] = QChar(b >= 0x80 && b < 0xA0 ? kHighHalf[b - 0x80] : char16_t(b));
    }
    return text;
}

QByteArray encodeCp1252(QStringView text)
{
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLatin1();
    // What the code page lacks becomes '?'.
    static const std::unordered_map<char32_t, char> reverse = [] {
        std::unordered_map<char32_t, char> m;
        for (int b = 0; b < 256; ++b)
            m.emplace(b >= 0x80 && b < 0xA0 ? kHighHalf[b - 0x80] : char32_t(b), char(b));
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
