// What every test shares, with or without a window: a file's bytes, a
// second process, and the checks that need something of the machine.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

namespace vortana::test {

// Runs one test function of this program in a process of its own (the
// other game of a test), with childArgument() giving it `argument`; under
// `wrapper` (a command and its options) if one is given.
void startChild(QProcess &child, const char *function, const QString &argument, const QStringList &wrapper = {});
QString childArgument();

// A check that needs something of the machine runs in a CTest test of its
// own (vortana_machine_check), whose probe has made sure the machine has it;
// the program's main run leaves it out.
#define MACHINE_CHECK()                                          \
    do {                                                         \
        if (!qEnvironmentVariableIsSet("VORTANA_MACHINE_CHECK")) \
            QSKIP("run as a CTest test of its own");             \
    } while (false)

// A save's journal cut short: " 1" and "Anna Bea", with its lengths and hash.
inline const QByteArray kJournal = "vortana-journal-1 4 10\n 1\r\nAnna Bea\r\n74209e6788dbc297615c630e68ab169481eac09f97362f7501dd98a22e159a81\n";

QByteArray fileBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);

}  // namespace vortana::test
