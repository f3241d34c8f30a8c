#include "play/random.h"
#include "window/application.h"
#include "window/commandline.h"
#include "window/qtplatform.h"
#include "window/session.h"
#include "window/tavola.h"

#include <QApplication>

#ifdef Q_OS_WIN
#include <cstdio>
#include <io.h>
#include <windows.h>
#endif

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

#ifdef Q_OS_WIN
// A program with a window has no console of its own: the answers to
// --help and --version go to the console it was started from, where they
// are not redirected.
void useStartingConsole()
{
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    for (FILE *stream : {stdout, stderr})
        if (_fileno(stream) < 0 || _get_osfhandle(_fileno(stream)) < 0)
            (void)!std::freopen("CONOUT$", "w", stream);
}
#endif

}  // namespace

int main(int argc, char *argv[])
{
    qtHandler = qInstallMessageHandler(quietLocaleSwitch);
#ifdef Q_OS_WIN
    if (argc > 1)
        useStartingConsole();
#endif
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
