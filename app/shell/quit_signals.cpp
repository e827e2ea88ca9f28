#include "app/shell/quit_signals.h"

#include "app/automation/stop_signals.h"

#include <QSocketNotifier>

#include <unistd.h>

namespace sorvik {

QuitSignals::QuitSignals(QObject* parent)
    : QObject(parent)
{
    StopSignals::install();
    if (StopSignals::descriptor() < 0) {
        // Without the pipe nothing would ever see a signal: it keeps its default action.
        StopSignals::restoreDefaultActions();
        return;
    }
    m_notifier = new QSocketNotifier(StopSignals::descriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readPipe);
}

QuitSignals::~QuitSignals() { StopSignals::restoreDefaultActions(); }

void QuitSignals::readPipe()
{
    unsigned char byte = 0;
    int signal = 0;
    while (::read(StopSignals::descriptor(), &byte, 1) == 1)
        signal = byte;
    if (signal == 0)
        return;
    StopSignals::restoreDefaultActions();
    emit quitRequested(signal);
}

} // namespace sorvik
