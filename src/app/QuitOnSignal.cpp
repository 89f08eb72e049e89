#include "app/QuitOnSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

namespace {

// The handler only writes a byte; the event loop reads it and quits.
int g_pipe[2] = {-1, -1};
bool g_bQuitRequested = false;

void OnEndingSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

void QuitOnEndingSignals(QCoreApplication& application)
{
    std::signal(SIGXFSZ, SIG_IGN);
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [&application] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) { }
        g_bQuitRequested = true;
        application.quit();
    });
    struct sigaction action { };
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

bool QuitWasRequested()
{
    return g_bQuitRequested;
}
