// The exit routine's decision over any record text and score text, and
// the round trip of a score the game itself saved: it never beats itself.
#include "play/rules.h"
#include "records/codepage.h"
#include "records/number.h"

#include <QByteArray>
#include <QString>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace vortana;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype cut = bytes.indexOf('\0');
    const QString record = decodeCp1252(cut < 0 ? bytes : bytes.left(cut));
    const QString score = cut < 0 ? QString() : decodeCp1252(bytes.mid(cut + 1));
    (void)isNewRecord(record, score);

    if (size >= 3) {
        std::int16_t n;
        std::memcpy(&n, data, 2);
        const QString shown = scoreText(n, data[2] & 1);
        const QString stored = decodeCp1252(encodeCp1252(shown) + "\r\n");
        if (leadingNumber(stored) != n || isNewRecord(stored, shown))
            std::abort();
        if (n < 32767 && !isNewRecord(stored, scoreText(std::int16_t(n + 1), true)))
            std::abort();
    }
    return 0;
}
