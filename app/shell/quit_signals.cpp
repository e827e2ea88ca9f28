#include "app/shell/quit_signals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace sorvik {

namespace {

    constexpr std::array caughtSignals { SIGTERM, SIGINT, SIGHUP };

    // Written by the handler, read on the GUI thread.
    int pipeEnds[2] = { -1, -1 };

    void setAction(void (*handler)(int))
    {
        struct sigaction action { };
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : caughtSignals)
            ::sigaction(signal, &action, nullptr);
    }

    void onSignal(int signal)
    {
        int saved = errno;
        auto byte = static_cast<unsigned char>(signal);
        // Nothing to do when the pipe is full: a quit is on its way already.
        [[maybe_unused]] auto written = ::write(pipeEnds[1], &byte, 1);
        errno = saved;
    }

} // namespace

QuitSignals::QuitSignals(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readPipe);
    setAction(onSignal);
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    setAction(SIG_DFL);
    delete m_notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void QuitSignals::readPipe()
{
    unsigned char byte = 0;
    int signal = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1)
        signal = byte;
    if (signal == 0)
        return;
    setAction(SIG_DFL);
    emit quitRequested(signal);
}

} // namespace sorvik
