#include "play/random.h"
#include "window/application.h"
#include "window/commandline.h"
#include "window/qtplatform.h"
#include "window/session.h"
#include "window/tavola.h"

#include <QApplication>

namespace {

QtMessageHandler qtHandler = nullptr;

// Qt takes a UTF-8 character type itself where the environment gives none
// (a C locale, a bare root, a cron job): Qt 6.4 quietly, 6.8 with a warning
// on every start. The switch is harmless here (the record files are read in
// their own encoding), so the game starts as quietly on both.
void quietLocaleSwitch(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("Detected locale \"")))
        qtHandler(type, context, message);
}

}  // namespace

int main(int argc, char *argv[])
{
    qtHandler = qInstallMessageHandler(quietLocaleSwitch);
    if (const int status = vortana::answerCommandLine(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);  // only the first application object switches
    vortana::setUpApplication(app);
    vortana::QtPlatform platform;
    vortana::Tavola tavola(platform, vortana::Rng::shared());
    vortana::onSessionEnd(app, [&tavola] { tavola.endSession(); });
    tavola.start();
    if (tavola.hasEnded())
        return platform.exitStatus();
    return app.exec();
}
