#include "cli/interrupt.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

#if defined(Q_OS_UNIX)
// A byte goes down the pipe for the event loop.
int g_signalPipe[2] = {-1, -1};

extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
    if (g_signalPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    }
}
#else
extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
}
#endif

} // namespace

namespace cli {

#if defined(Q_OS_UNIX)
void catchInterrupt()
{
    if (g_signalPipe[0] < 0 && ::pipe(g_signalPipe) == 0) {
        ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
        ::fcntl(g_signalPipe[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(g_signalPipe[1], F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a blocked read returns at once
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void quitOnInterrupt(QEventLoop &loop)
{
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &loop);
    QObject::connect(notifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
}
#else
void catchInterrupt()
{
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

void quitOnInterrupt(QEventLoop &loop)
{
    // No pipe to wake the loop: the flag is looked at a few times a second.
    auto *timer = new QTimer(&loop);
    QObject::connect(timer, &QTimer::timeout, &loop, [&loop] {
        if (g_interrupted)
            loop.quit();
    });
    timer->start(100);
}
#endif

bool interrupted()
{
    return g_interrupted != 0;
}

} // namespace cli
