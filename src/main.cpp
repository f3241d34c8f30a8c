#include "play/random.h"
#include "window/platform.h"
#include "window/tavola.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    vortana::setUpApplication(app);
    vortana::QtPlatform platform;
    vortana::Tavola tavola(platform, vortana::Rng::shared());
    tavola.start();
    if (tavola.hasEnded())
        return platform.exitStatus();
    return app.exec();
}
