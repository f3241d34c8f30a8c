#include "records/number.h"

#include <QString>

namespace vortana {

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
