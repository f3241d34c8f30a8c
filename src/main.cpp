#include "play/random.h"
#include "window/commandline.h"
#include "window/platform.h"
#include "window/tavola.h"

#include <QApplication>

#include <clocale>
#include <cstring>
#include <langinfo.h>

int main(int argc, char *argv[])
{
    // Qt needs a UTF-8 character type and takes C.UTF-8 itself where the
    // environment gives none (a bare root, a cron job), but Qt 6.8, unlike
    // 6.4, then warns on every start. Taking it first keeps both quiet.
    std::setlocale(LC_ALL, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    if (const int status = vortana::answerCommandLine(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    vortana::setUpApplication(app);
    vortana::QtPlatform platform;
    vortana::Tavola tavola(platform, vortana::Rng::shared());
    tavola.start();
    if (tavola.hasEnded())
        return platform.exitStatus();
    return app.exec();
}
