#pragma once

#include <csignal>

#include <QObject>

class QSocketNotifier;

// Requests to end the process that come as POSIX signals (SIGTERM from the session or from
// `kill`, SIGINT from Ctrl+C in a terminal, SIGHUP when that terminal goes away) turned into one
// Qt signal on the main loop, so that they end the program the way its quit command does:
// unsaved changes saved first. A signal handler may do almost nothing itself; it only writes the
// signal's number into a socket that the main loop watches.
//
// While an instance lives it owns the handlers of the three signals; the earlier handlers come
// back when it goes. One instance at a time.
class TerminationSignals : public QObject {
    Q_OBJECT

  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the socket could not be made; the signals then keep their earlier handlers.
    bool isActive() const { return notifier_ != nullptr; }

  signals:
    void received(int signalNumber);

  private:
    void drain();

    int readEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[3]{};
};
