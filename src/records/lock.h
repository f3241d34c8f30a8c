// The record's lock, shared by every game on the folder.
#pragma once

#include "records/files.h"

#include <QString>
#include <vector>

namespace vortana {

// Taken on the points file of the folder `dir` itself, waiting up to 15 s
// while a live game holds it. A save covers each file it puts in the
// points file's place, so that the lock follows the name. Throws when the
// lock can't be had.
class RecordLock {
public:
    explicit RecordLock(const QString &dir);
    RecordLock(const RecordLock &) = delete;
    RecordLock &operator=(const RecordLock &) = delete;
    void cover(const QString &file);
    // Once the newest covered file has replaced the points file: a lock on
    // the old one keeps nobody out, and on Windows its open handle keeps the
    // old file's name taken until it goes, so that no later replace could
    // use that name.
    void letGoReplaced();

private:
    std::vector<files::File> held_;
};

}  // namespace vortana
