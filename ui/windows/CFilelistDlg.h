#pragma once
// The working area inside the main window: the stored files, the upload, download and delete buttons,
// drops from the file manager, drag-out, and every call to the file service (on short-lived workers
// while this thread keeps pumping events).
#include "transfer/TransferJob.h"
#include "ui/windows/ServiceWorker.h"

#include <QStringList>
#include <QWidget>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CImageButton;
class CThemeListCtrl;
class DesktopNotifier;
class DropTargetFinder;
class XdndSelectionServer;
class FileService;
class QMimeData;
class SessionStore;

class CFilelistDlg : public QWidget {
    Q_OBJECT
public:
    enum : int { kListId = 1028, kUploadId = 1031, kDownloadId = 1030, kDeleteId = 1029 };
    static constexpr char kMarkerName[] = "cloffa_drop_target.tmp";

    struct TransferRequest {
        bool upload = false;
        std::vector<TransferItem> items;
        QString folder; // downloads: the destination, ending in "/"
        bool openFolder = false;
    };
    // Creates and shows the modeless transfer dialog, owned by `owner`; it reports TransferDone to `owner`.
    using TransferStarter = std::function<QWidget*(CFilelistDlg* owner, const TransferRequest& request)>;
    // The download destination question: false when cancelled.
    using FolderChooser = std::function<bool(QWidget* owner, int count, QString* folder, bool* openFolder)>;
    // Runs the drag loop for the offered data; returns the effect.
    using DragExecutor = std::function<Qt::DropAction(QWidget* source, QMimeData* data)>;
    // The open-file dialog starting in `folder`: the chosen paths, none when cancelled.
    using FileChooser = std::function<QStringList(QWidget* owner, const QString& folder)>;

    // What the window asks of the desktop, handed in by its creator; an empty member means the real one.
    struct Desktop {
        TransferStarter startTransfer;
        FolderChooser chooseFolder;
        DragExecutor runDrag;
        FileChooser chooseFiles;
        QStringList dragRoots; // where a dropped marker is looked for; empty = the user's folders and mounts
        std::optional<std::chrono::milliseconds> dragWatch; // how long after a drop; none = the finder's own
        std::shared_ptr<DesktopNotifier> notifier;     // the desktop's notifications and task bar; none = silent
        std::optional<TransferSettings> transferPages; // where transfers go; none = the deployment's
    };

    CFilelistDlg(SessionStore& store, QWidget* mainWindow, std::shared_ptr<FileService> service = nullptr,
                 Desktop desktop = {});
    ~CFilelistDlg() override;

    // The operations the main window starts; each waits while pumping events. One service call runs at
    // a time: one asked for while another waits (or while a question is open) goes in line and runs
    // after it, never inside its wait; two list fetches in line are one.
    void VersionCheck();
    void RefreshList();
    // The main window received a close request: a running wait stops, the running call is ended and
    // nothing in line runs any more.
    void NoteCloseRequest();
    bool CallRunning() const { return m_calling; }

    void Upload();                              // through the open-file dialog
    void UploadPaths(const QStringList& paths); // as a drop of these paths
    void Download();
    void Delete();
    void StartDragOut();

    CThemeListCtrl* List() const { return m_list; }
    CImageButton* Button(int id) const;
    QWidget* LastInTabOrder() const; // where the main window's own controls follow
    DesktopNotifier* Notifier() const { return m_desktop.notifier.get(); }
    int RunningWorkers() const { return static_cast<int>(m_workers.size()); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CallService(ServiceOperation operation);
    void Enqueue(ServiceOperation operation);
    void RunQueue();
    void RunCall(ServiceOperation operation);
    void SendWaitBox(const QString* text);
    void StartUpload(const std::vector<TransferItem>& batch);
    void StartTransfer(const TransferRequest& request);
    void OnTransferDone(bool upload, QObject* dialog);
    struct DragOut;
    struct DragOutTarget;
    void OnDragTargetFound(const DragOutTarget& target);
    void EndDragOut(DropTargetFinder* finder);
    std::vector<int> SelectedRows() const;
    bool Idle() const; // not exit-pending and service ready; checked again after every question

    SessionStore& m_store;
    QWidget* m_mainWindow;
    Desktop m_desktop;
    std::shared_ptr<FileService> m_service;
    std::shared_ptr<ReceiverToken> m_token;
    CImageButton* m_upload = nullptr;
    CImageButton* m_download = nullptr;
    CImageButton* m_delete = nullptr;
    CThemeListCtrl* m_list = nullptr;
    std::vector<std::unique_ptr<DragOut>> m_dragOuts; // each drag until its marker is found or given up
    std::unique_ptr<XdndSelectionServer> m_dragSelection;
    bool m_closeSeen = false;
    QPoint m_pressPos;
    bool m_pressed = false;
    std::vector<std::unique_ptr<ServiceWorker>> m_workers;
    std::deque<ServiceOperation> m_queue;
    bool m_calling = false;    // a call's wait (or the loop over the line) is on the stack
    bool m_queueArmed = false; // the line waits for the gate
};

// Replaces "%d" (the product's own placeholder) with the number.
QString WithNumber(const QString& text, int number);
