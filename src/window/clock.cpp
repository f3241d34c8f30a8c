// The countdown clock.
#include "window/tavola.h"

namespace vortana {

void Tavola::StartClock()
{
    timer("Timer1")->start();
    vars_.clockHours = 0;
    vars_.clockMinutes = 15;
    vars_.clockSeconds = 0;
    label("lblconto")->setCaption(clockText(vars_.clockHours, vars_.clockMinutes, vars_.clockSeconds));
}

void Tavola::Timer1_Timer()
{
    // The label's text, not the variables, says when time is up.
    if (label("lblconto")->caption() == QLatin1String(kTimeUp.data(), qsizetype(kTimeUp.size()))) {
        cmdExit_Click();
        return;
    }
    countDown(vars_.clockHours, vars_.clockMinutes, vars_.clockSeconds);
    label("lblconto")->setCaption(clockText(vars_.clockHours, vars_.clockMinutes, vars_.clockSeconds));
}

}  // namespace vortana
