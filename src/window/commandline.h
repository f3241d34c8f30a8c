#pragma once

#include <QString>
#include <QStringList>

namespace vortana {

// What the command line asks for. A status of -1 means: start the game.
struct CommandLine {
    int status = -1;
    QString output;  // for standard output
    QString error;   // for standard error
};

// Reads main()'s arguments. Qt's own options (-platform, -style, ...) are
// accepted and left for QApplication. Needs a QCoreApplication.
CommandLine readCommandLine(const QStringList &arguments);

// Runs before QApplication, which opens the display, so that --help and
// --version work without one. Prints what the command line asks for and
// returns its exit status, or -1 when the game is to start.
int answerCommandLine(int argc, char **argv);

}  // namespace vortana
