#include "app/automation/stop_signals.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace sorvik::StopSignals {

namespace {

    // Written by the handler, read by whoever waits for a stop.
    int pipeEnds[2] = { -1, -1 };
    std::atomic<int> firstSignal { 0 };
    static_assert(std::atomic<int>::is_always_lock_free);

    void onSignal(int signal)
    {
        int saved = errno;
        int none = 0;
        firstSignal.compare_exchange_strong(none, signal);
        auto byte = static_cast<unsigned char>(signal);
        // Nothing to do when the pipe is full: a stop is on its way already.
        if (pipeEnds[1] >= 0) {
            [[maybe_unused]] auto written = ::write(pipeEnds[1], &byte, 1);
        }
        errno = saved;
    }

    void setAction(void (*handler)(int))
    {
        struct sigaction action { };
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : caught)
            ::sigaction(signal, &action, nullptr);
    }

} // namespace

void install()
{
    if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        pipeEnds[0] = pipeEnds[1] = -1;
    setAction(onSignal);
    // A signal that came before this, while the parent's mask held it back, arrives now.
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : caught)
        sigaddset(&stops, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
}

void restoreDefaultActions() { setAction(SIG_DFL); }

int received() { return firstSignal.load(); }

int descriptor() { return pipeEnds[0]; }

std::string name(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal " + std::to_string(signal);
    }
}

} // namespace sorvik::StopSignals
