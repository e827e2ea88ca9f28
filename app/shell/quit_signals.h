#pragma once

#include <QObject>

class QSocketNotifier;

namespace sorvik {

// SIGTERM (the session ending stops sorvik with it), SIGINT (Ctrl-C) and SIGHUP (its terminal
// closed) become an ordinary quit, so that the stores finish as they do when the user quits:
// the session is written, a watch batch being committed completes and one being planned is
// dropped. The signals are caught from the start of the program (`StopSignals`); the GUI
// thread reads their pipe on a socket notifier and asks for the quit there, also for one that
// came before the event loop ran. A second such signal ends sorvik at once, as it would have
// without this, for a quit that hangs.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    /// Catches the signals for as long as the object lives; one object at a time.
    explicit QuitSignals(QObject* parent = nullptr);
    /// Gives the signals their default action back.
    ~QuitSignals() override;
    Q_DISABLE_COPY_MOVE(QuitSignals)

signals:
    /// One of the signals arrived; `signal` is its number.
    void quitRequested(int signal);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace sorvik
