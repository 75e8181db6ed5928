#pragma once
// The modeless progress dialog of one upload or download batch. It owns the job and the one worker
// thread that runs it, shows what the worker reports, asks the replace question and cancels. When the
// worker has ended, its parent receives a TransferFinished record (direction and this dialog) exactly
// once; the parent then destroys the dialog.
#include "transfer/TransferJob.h"
#include "transfer/TransferReporter.h"
#include "ui/dialogs/BatchAnnouncer.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CTransparentLabel;
class QProgressBar;
class QPushButton;
class QUrl;
class SessionStore;

// Shows the downloaded files in the user's place; attached to a window by the window's creator.
// Without one, the desktop's file manager shows them, or its opener opens the folder.
class FolderShower : public QObject {
    Q_OBJECT
public:
    explicit FolderShower(QWidget* window) : QObject(window) {}
    virtual void Show(const QString& folder, const QStringList& files) = 0;
};

class CTransmissionDlg : public QDialog, public TransferReporter {
    Q_OBJECT
public:
    enum Direction { Download = 0, Upload = 1 };
    enum ControlId {
        IdCurrentFile = 1010,
        IdCount = 1057,
        IdBytes = 1011,
        IdProgress = 1007,
        IdCancel = 1009,
        IdPause = 1008
    };

    // `store` outlives the dialog; `settings` name the transfer pages.
    CTransmissionDlg(SessionStore& store, const TransferSettings& settings, int direction, QWidget* parent);
    ~CTransmissionDlg() override;

    int direction() const { return m_direction; }
    void SetOpenFolderAfter(bool on) { m_openFolderAfter = on; }
    void SetDestFolder(const QString& folder); // a folder path, ending in "/" (as the store holds it)
    void SetItems(std::vector<TransferItem> items) { m_items = std::move(items); }
    // The desktop told about this batch (task bar progress, a notification when it ends unseen).
    void SetNotifier(DesktopNotifier* notifier) { m_announcer.SetNotifier(notifier); }
    TransferJob& job() { return m_job; }

    // Centres the dialog on its parent, shows it and starts the worker. False when the worker could not
    // be started (already told to the user and to the parent).
    bool Start();

    // Stops the batch: the worker sees the flag, leaves any wait and aborts its exchange, closes its own
    // handles and removes its partial file; the parent is told once it has ended.
    void CancelTransfer();
    // For the main window's close handling.
    bool isActive() const;
    void cancel() { CancelTransfer(); }

    QWidget* control(int id) const;
    QString currentName() const { return m_currentName; }
    int lastShownPercent() const { return m_lastShownPercent; }

    // TransferReporter, called on the worker thread.
    void batchStarted() override;
    void fileStarted(const QString& name, int ordinal, int count) override;
    void progress(qint64 done, qint64 total) override;
    std::optional<ReplaceAnswer> askReplace(int count, const QString& text) override;
    void error(const QString& text, int number) override;
    void notice(const QString& text) override;

public Q_SLOTS:
    void reject() override; // Escape: the same as the cancel button

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void runWorker();
    void onCancelClicked();
    void onFileStarted(const QString& name, int ordinal, int count);
    void onProgress();
    void onAskReplace(int count, const QString& text);
    struct WaitedRecord;
    struct ErrorRecord;
    struct NoticeRecord;
    void queueWaited(const WaitedRecord& record, bool isError); // shown once no other question is open
    void showWaited(const WaitedRecord& record, bool isError);
    void onWorkerEnded();
    void finishIfEnded();
    void sendDone();
    // Posts an error or a notice the worker waits for until the dialog has handled it (or the batch stops).
    void postAndWait(bool isError, const QString& text, int number);

    SessionStore& m_store;
    const int m_direction;
    bool m_openFolderAfter = false;
    QString m_destFolder;
    std::vector<TransferItem> m_items;
    TransferJob m_job;
    std::thread m_worker;
    QString m_currentName;
    int m_lastShownPercent = 0;

    CTransparentLabel* m_fileLabel = nullptr;
    CTransparentLabel* m_countLabel = nullptr;
    CTransparentLabel* m_bytesLabel = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_pauseButton = nullptr;

    std::mutex m_progressMutex;
    qint64 m_progressDone = 0;
    qint64 m_progressTotal = 0;
    std::atomic<bool> m_progressQueued{false};
    std::atomic<bool> m_shuttingDown{false};

    bool m_started = false;
    bool m_workerEnded = false; // the worker said it has ended, not yet joined
    bool m_joined = false;
    bool m_cancelRequested = false;
    bool m_doneSent = false;
    int m_modalDepth = 0; // questions and message boxes open from this dialog's handlers
    BatchAnnouncer m_announcer{nullptr, m_direction == Upload};
};
