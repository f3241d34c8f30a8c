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

}  // namespace vortana::test
