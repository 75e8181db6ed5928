#pragma once
// A plain, windowless transfer runner used when no transfer dialog is linked in (tests, bare builds):
// runs the batch on its own thread and reports TransferDone to its owner like the dialog does.
#include "ui/windows/CFilelistDlg.h"

#include <QWidget>

#include <atomic>
#include <memory>
#include <thread>

class BatchRunner : public QWidget {
    Q_OBJECT
public:
    BatchRunner(CFilelistDlg* owner, const CFilelistDlg::TransferRequest& request);
    ~BatchRunner() override;  // cancels and waits for the worker
    bool Start();
    bool IsUpload() const { return m_upload; }
    static QWidget* Create(CFilelistDlg* owner, const CFilelistDlg::TransferRequest& request);

private:
    struct Shared;
    CFilelistDlg* m_owner;
    bool m_upload;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
