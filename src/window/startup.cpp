// Creation, load, activation and resize of the window.
#include "play/random.h"
#include "records/lock.h"
#include "records/recordfiles.h"
#include "records/save.h"
#include "window/platform.h"
#include "window/tavola.h"

namespace vortana {

void Tavola::Form_Initialize()
{
    cmdNext_Click();  // touches the controls, so the window loads first
}

void Tavola::Form_Load()
{
    timer("Timer1")->stop();
    timer("Timer2")->stop();

    QString name = platform_.inputBox(this, QStringLiteral("Come ti chiami?"), QString::fromLatin1(kTitle));
    checkAlive();
    name.truncate(kMaxNameLength);
    msgBox(QLatin1Char(' ') + name + QStringLiteral(" vediamo se sei un vero campione  "), OkOnly);
    label("lblnome1")->setCaption(name);

    StartClock();

    vars_.windowsDir = GetSystemDir();
    vars_.fileNum = channels_.next();
    openAndClose(vars_.windowsDir + QLatin1String(kPointsFile));
    openAndClose(vars_.windowsDir + QLatin1String(kNameFile));
    // A save cut short is finished, or undone, before the record is shown.
    // Only then is the lock needed: a plain start never waits for it.
    if (saveCutShort(vars_.windowsDir)) {
        RecordLock lock(vars_.windowsDir);
        finishCutSave(vars_.windowsDir, lock);
    }

    label("lblpunti")->setCaption(Leggifiletxt(vars_.windowsDir + QLatin1String(kPointsFile)));
    label("lblnome")->setCaption(Leggifiletxt(vars_.windowsDir + QLatin1String(kNameFile)));

    label("lblconto")->setCaption(clockText(vars_.clockHours, vars_.clockMinutes, vars_.clockSeconds));

    cmdNext_Click();
}

void Tavola::Form_Activate()
{
    const auto numbers = startNumbers(rng_);
    for (int i = 0; i < kTargets; ++i)
        target(Target(i))->setText(QString::number(numbers[std::size_t(i)]));

    vars_.score = 0;
    label("Punteggio")->setCaption(QStringLiteral("0"));

    cmdNext_Click();
    // Sound is loaded only now, once the window is up, so it never slows
    // the start; still well before the first shot.
    platform_.warmUp();
}

void Tavola::Form_Resize()
{
    if (windowState() & Qt::WindowMinimized)
        setWindowTitle(QString::fromLatin1(kTitle));
}

void Tavola::openAndClose(const QString &path)
{
    // Opening for appending creates a missing file and leaves one alone.
    FileChannels::Lease lease(channels_, vars_.fileNum);
    touchFile(path);
}

QString Tavola::GetSystemDir()
{
    return systemDir(platform_.dataDir());
}

QString Tavola::Leggifiletxt(const QString &path)
{
    FileChannels::Lease lease(channels_, channels_.next());
    return readRecordFile(path);
}

}  // namespace vortana
