#include "play/random.h"
#include "window/commandline.h"
#include "window/platform.h"
#include "window/tavola.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const int status = vortana::answerCommandLine(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    vortana::setUpApplication(app);
    vortana::QtPlatform platform;
    vortana::Tavola tavola(platform, vortana::Rng::shared());
    vortana::onSessionEnd(app, [&tavola] { tavola.endSession(); });
    tavola.start();
    if (tavola.hasEnded())
        return platform.exitStatus();
    return app.exec();
}
