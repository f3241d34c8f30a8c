// The stored points and the score, read back as numbers.
#pragma once

#include <QStringView>

namespace vortana {

// Blanks, tabs and line feeds are skipped anywhere; then an optional
// sign, digits, and an optional "." with more digits. Anything else ends
// the number; no number at all gives 0.
double leadingNumber(QStringView text);

// The score as shown, read back whole: blanks around it are allowed.
int scoreValue(QStringView text);

// Whether the score as shown beats the record as stored.
bool isNewRecord(QStringView recordText, QStringView scoreText);

}  // namespace vortana
