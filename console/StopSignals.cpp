#include "console/StopSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

int signalPipe[2] = {-1, -1};

// Only what is safe in a signal handler: the number goes down a pipe.
void onSignal(int signal)
{
    const int saved = errno;
    const char number = char(signal);
    (void)!::write(signalPipe[1], &number, 1);
    errno = saved;
}

} // namespace

void CatchStopSignals(QObject* context, const std::function<void(int signal)>& stop)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [stop] {
        char number;
        while (::read(signalPipe[0], &number, 1) == 1)
            stop(number);
    });
    // A caught signal is reset to its default in a program this one starts.
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGPIPE})
        ::sigaction(signal, &action, nullptr);
}
