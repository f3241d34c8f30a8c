// The record files' code page, Windows-1252, as the game's own texts are.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace vortana {

QByteArray encodeCp1252(QStringView text);  // unmappable characters become '?'
QString decodeCp1252(const QByteArray &bytes);

}  // namespace vortana
