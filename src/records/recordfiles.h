// The two record files: where they live, and how start-up creates and
// reads them.
#pragma once

#include <QString>
#include <QtGlobal>

namespace vortana {

inline constexpr char kPointsFile[] = "/avortana.txt";
inline constexpr char kNameFile[] = "/vortana.txt";

// Reading stops here: a record the game writes is far shorter, and a huge
// file would otherwise freeze start-up while the label lays it out.
inline constexpr qint64 kRecordReadLimit = qint64{64} * 1024;
// Longest name the prompt takes, so every record written reads back whole.
inline constexpr int kMaxNameLength = 32767;

// The player's data folder, created when missing, with a trailing "/".
QString systemDir(const QString &dataDir);

// Creates the file empty when missing, a dangling link's target included;
// an existing one is left untouched. Nothing but a regular file will do.
void touchFile(const QString &path);

// The file's text, line end included, decoded from Windows-1252. Nothing
// standing there can make the read wait.
QString readRecordFile(const QString &path);

}  // namespace vortana
