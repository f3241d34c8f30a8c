// The end of the desktop session, from the session manager or a signal.
#include "window/session.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace vortana {

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

void onSessionEnd(QApplication &app, const std::function<void()> &handler)
{
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [handler](QSessionManager &) { handler(); });
    // A signal handler may only write: the event loop sees the byte and
    // ends the game on its own thread.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier, handler] {
        // Once is enough, so the byte is never read: a second signal ends
        // the program the default way, whatever state the first one found.
        notifier->setEnabled(false);
        for (int sig : {SIGTERM, SIGHUP})
            ::signal(sig, SIG_DFL);
        handler();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

}  // namespace vortana
