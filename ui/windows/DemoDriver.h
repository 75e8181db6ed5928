#pragma once
// Drives a short scripted session through the real windows when QUORVANE_DEMO_SCRIPT names a script,
// one tab-separated step a line:
//   list
//   upload   PATH [PATH...]      through the upload button
//   download NAME FOLDER         through the download button
//   delete   NAME [NAME...]      all names selected, one delete
//   logout   PROGRAM             runs "PROGRAM logout", as the toolbar does
// A screenshot follows each step, into QUORVANE_DEMO_SHOTS (default: the working folder). Every question
// the session can meet is answered in advance; a step that does not finish in time, or any message the
// program shows on its own, ends the process with a non-zero status after a screenshot of the moment
// (QUORVANE_DEMO_STEP_TIMEOUT: seconds a step may take, 60 by default).
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class CQuorvaneDlg;

class DemoDriver : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultStepTimeoutS = 60;  // QUORVANE_DEMO_STEP_TIMEOUT overrides
    static constexpr int kFailStatus = 3;

    static void StartIfRequested(CQuorvaneDlg* window);
    DemoDriver(CQuorvaneDlg* window, const QStringList& steps, const QString& shotFolder);
    ~DemoDriver() override;

private:
    void StartStep();
    void Act();
    void Poll();
    bool StepDone(QString* failure);
    void FinishStep();
    void OnWindowGone();
    void OnWatchdog();
    [[noreturn]] void Fail(const QString& why, const QString& shotSuffix);
    QString StepName() const;
    QString Shot(const QString& name);
    void ArmBackstop(int ms);

    CQuorvaneDlg* m_window;
    QStringList m_steps;
    QString m_shotFolder;
    int m_stepTimeoutMs = kDefaultStepTimeoutS * 1000;
    int m_index = -1;
    QStringList m_words;  // the current step
    QString m_waitingFor;
    bool m_acted = false;
    bool m_logoutShot = false;
    bool m_finished = false;
    int m_shownBefore = 0;
    QTimer m_poll;
    QTimer m_watchdog;

    // A thread of its own ends the process should the user interface thread itself stop answering.
    std::thread m_backstop;
    std::mutex m_backstopMutex;
    std::condition_variable m_backstopWake;
    std::chrono::steady_clock::time_point m_backstopDeadline;
    bool m_backstopStop = false;
};
