// Hits and misses: the six click handlers share one routine, and the
// table of rules says how each differs.
#include "play/random.h"
#include "window/platform.h"
#include "window/tavola.h"

namespace vortana {

void Tavola::paricmd_Click() { onNumberClick(Target::paricmd); }
void Tavola::paricmd1_Click() { onNumberClick(Target::paricmd1); }
void Tavola::paricmd2_Click() { onNumberClick(Target::paricmd2); }
void Tavola::disparicmd_Click() { onNumberClick(Target::disparicmd); }
void Tavola::disparicmd1_Click() { onNumberClick(Target::disparicmd1); }
void Tavola::disparicmd2_Click() { onNumberClick(Target::disparicmd2); }

void Tavola::onNumberClick(Target t) { hitOrMiss(clickRule(t)); }

void Tavola::hitOrMiss(const ClickRule &rule)
{
    // The button, not a name lookup: a step behind the warning may hide
    // or renumber it, and a new game could replace the controls.
    QPointer<FlatButton> button = target(rule.target);
    const QColor flash(rule.flash.r, rule.flash.g, rule.flash.b);

    for (vars_.flashCounter = 1; vars_.flashCounter <= rule.flashTimes; ++vars_.flashCounter)
        button->setBackColor(flash);

    QString sound = programDir() + QString::fromUtf8(rule.sound.data(), qsizetype(rule.sound.size()));
    if (rule.hit) {
        vars_.score = addScore(vars_.score, rule.delta);
        PlayWave(sound);
    } else {
        PlayWave(sound);
        msgBox(warningText(rule, button->text()), OkOnly);
        if (!button)
            return;  // the window went away behind the box
        vars_.score = addScore(vars_.score, rule.delta);
    }
    label("Punteggio")->setCaption(scoreText(vars_.score, rule.hit));
    if (rule.hit)
        button->setBackColor(QColor(kCyan.r, kCyan.g, kCyan.b));
    button->hide();

    rng_.reseed(rule.seed == SeedFrom::Disparicmd2Number ? vars_.disparicmd2Number : 0);
    const std::int16_t number = drawNumber(rule.rule, rule.n, rule.add, rng_);
    if (rule.target == Target::paricmd2)
        vars_.paricmd2Number = number;
    else if (rule.target == Target::disparicmd2)
        vars_.disparicmd2Number = number;
    button->setText(QString::number(number));
    if (!rule.hit)
        button->setBackColor(QColor(kCyan.r, kCyan.g, kCyan.b));

    cmdNext_Click();
}

}  // namespace vortana
