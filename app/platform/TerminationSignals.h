#pragma once
// The end of the desktop session (SIGTERM, SIGHUP) and Ctrl-C in a terminal (SIGINT) reach the program
// as a Qt signal on the thread that made the watch, so it can end the way its own close does: settings
// written back, transfers stopped and their temporaries removed. A second such signal, or one that
// arrives while no watch exists, ends the process at once as it would without the watch.
#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the signals could not be watched (a second watch, or no pipe); they keep their defaults.
    bool Watching() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void requested(int signalNumber);

private:
    void ReadSignal();
    QSocketNotifier* m_notifier = nullptr;
    bool m_delivered = false; // requested() is emitted once
};
