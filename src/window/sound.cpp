#include "window/platform.h"
#include "window/tavola.h"

namespace vortana {

void Tavola::PlayWave(QString &path)
{
    platform_.playWave(path);
}

}  // namespace vortana
