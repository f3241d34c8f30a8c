#include "support.h"

#include <QFile>
#include <QTest>

namespace vortana::test {

FakePlatform::FakePlatform()
{
    data = tmp.path() + QStringLiteral("/share/vortana");
}

QString FakePlatform::inputBox(QWidget *, const QString &prompt, const QString &title)
{
    prompts.append(title + QLatin1Char('|') + prompt);
    if (onPrompt)
        onPrompt();
    return names.isEmpty() ? QString() : names.takeFirst();
}

int FakePlatform::msgBox(QWidget *, const QString &text, int style, const QString &title)
{
    const Box box{text, style, title};
    boxes.append(box);
    if (answer)
        return answer(box);
    return style & YesNo ? AnswerNo : AnswerOk;
}

void FakePlatform::errorBox(QWidget *, const QString &text)
{
    errors.append(text);
    if (onError)
        onError();
}

void FakePlatform::quit(int status) { quits.append(status); }

void FakePlatform::playWave(const QString &path)
{
    sounds.append(path);
    if (onSound)
        onSound();
}

std::unique_ptr<Tavola> startGame(FakePlatform &platform, const QString &name, Rng &rng)
{
    platform.names.append(name);
    auto t = std::make_unique<Tavola>(platform, rng);
    t->start();
    waitActivated(*t);
    return t;
}

bool waitActivated(Tavola &t)
{
    return QTest::qWaitFor([&] { return t.isLoaded() && !t.target(Target::paricmd)->text().isEmpty(); }, 5000);
}

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
