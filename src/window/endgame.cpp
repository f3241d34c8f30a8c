// The exit routine, which saves a better score, and the new game.
#include "records/lock.h"
#include "records/number.h"
#include "records/recordfiles.h"
#include "records/save.h"
#include "window/platform.h"
#include "window/tavola.h"

namespace vortana {

void Tavola::cmdExit_Click()
{
    // A tick behind the farewell box must not start a second exit; the
    // buttons go on jumping behind it until the program ends.
    timer("Timer1")->stop();

    msgBox(QStringLiteral("                      Ciao a presto!"), OkOnly);

    for (vars_.exitDelayCounter = 1; vars_.exitDelayCounter <= 1000; ++vars_.exitDelayCounter) {
    }

    if (saveBetterScore())
        msgBox(QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\""), OkOnly);
    endProgram(0);
}

bool Tavola::saveBetterScore()
{
    const QString score = label("Punteggio")->caption();
    if (!isNewRecord(label("lblpunti")->caption(), score))
        return false;

    const QString pointsPath = vars_.windowsDir + QLatin1String(kPointsFile);
    // Another game of the player's may have saved since this one began:
    // what counts is the record stored now, read and replaced under a
    // lock so that two games ending together take turns.
    RecordLock lock(vars_.windowsDir);
    finishCutSave(vars_.windowsDir, lock);
    if (!isNewRecord(Leggifiletxt(pointsPath), score))
        return false;
    FileChannels::Lease points(channels_, vars_.fileNum = channels_.next());
    const QString scoreLine = vars_.recordText = score;
    FileChannels::Lease name(channels_, vars_.fileNum = channels_.next());
    vars_.recordText = label("lblnome1")->caption();
    writeRecord(vars_.windowsDir, scoreLine, vars_.recordText, lock);
    return true;
}

void Tavola::endSession()
{
    // A game that has stopped shows its error box: the logout closes it,
    // with the error's status.
    if (ended_)
        platform_.quit(1);
    if (ended_ || !isLoaded())
        return;
    // The logout waits for no box: a better score is saved without a word.
    halt();
    hide();
    int status = 0;
    try {
        saveBetterScore();
    } catch (const RuntimeError &e) {
        qWarning("vortana: the record could not be saved: %s", qPrintable(e.message));
        status = 1;
    }
    platform_.quit(status);
}

void Tavola::Next_Click()
{
    const int answer = msgBox(QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"), YesNo | Question | SecondDefault,
                              QStringLiteral("INIZIARE NUOVA GARA"));
    if (answer == AnswerNo)
        return;
    unload();
    load();
    showCentred();
}

}  // namespace vortana
