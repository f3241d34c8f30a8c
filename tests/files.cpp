#include "files.h"

#include <QCoreApplication>
#include <QFile>

namespace vortana::test {

void startChild(QProcess &child, const char *function, const QString &argument, const QStringList &wrapper)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VORTANA_TEST_CHILD"), argument);
    // LeakSanitizer can't run in a traced process.
    if (!wrapper.isEmpty())
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    child.setProcessEnvironment(env);
    const QStringList command = wrapper + QStringList{QCoreApplication::applicationFilePath(), QString::fromLatin1(function)};
    child.start(command[0], command.mid(1));
}

QString childArgument() { return qEnvironmentVariable("VORTANA_TEST_CHILD"); }

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

}  // namespace vortana::test
