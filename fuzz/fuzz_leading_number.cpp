// The leading-number rule over any text: no crash, never NaN, and a
// number followed by anything that can't continue it reads back whole.
#include "records/number.h"

#include <QString>
#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    const double v = vortana::leadingNumber(text);
    if (std::isnan(v))
        std::abort();

    if (size >= 2) {
        std::int16_t n;
        std::memcpy(&n, data, 2);
        const QString tail = text.mid(1);
        // A tail that starts with a letter or CR cannot extend the number.
        if (tail.isEmpty() || tail.front() == u'\r' || tail.front().isLetter()) {
            if (vortana::leadingNumber(QString::number(n) + tail) != n)
                std::abort();
        }
    }
    return 0;
}
