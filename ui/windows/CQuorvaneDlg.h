#pragma once
// The program's only top-level window: captionless, shaped by its skin, with the quota panel, the
// title buttons, the embedded file list and the waiting box. Drives the start-up sequence against the
// service and handles the toolbar's logout and the end of the desktop session.
#include "ui/windows/CFilelistDlg.h"

#include <QDialog>
#include <QPoint>
#include <QTimer>

#include <memory>

struct BuiltDialog;
class CImageButton;
class CImageButtonEx;
class CModalessMessageBox;
class CTransparentLabel;
class FileService;
class SessionStore;
struct MainWindowRequest;

class CQuorvaneDlg : public QDialog {
    Q_OBJECT
public:
    enum : int {
        kTopMostId = 1040,
        kMinimizeId = 1036,
        kCloseId = 1021,
        kTotalId = 1004,
        kUsedId = 1005,
        kFreeId = 1006,
        kTotalLabelId = 1051,
        kUsedLabelId = 1052,
        kFreeLabelId = 1053,
    };
    static constexpr int kStartTimerMs = 100;
    static constexpr int kLogoutCloseMs = 1200;
    static constexpr int kFileListDown = 44;

    CQuorvaneDlg(SessionStore& store, QPoint startPosition, std::shared_ptr<FileService> service = nullptr,
                 CFilelistDlg::Desktop desktop = {}, QWidget* parent = nullptr);
    ~CQuorvaneDlg() override;

    CFilelistDlg* FileList() const { return m_fileList; }
    CModalessMessageBox* WaitBox() const { return m_waitBox; }
    CImageButtonEx* TopMostButton() const { return m_topMost; }
    CImageButton* MinimizeButton() const { return m_minimize; }
    CImageButton* CloseButton() const { return m_close; }
    QString QuotaText(int id) const;
    bool StartSequenceDone() const { return m_startDone; }
    bool Closed() const { return m_closed; }
    bool LogoutCloseScheduled() const { return m_logoutTimer.isActive(); }

    void ToggleAlwaysOnTop();
    void OnToolbarLogout();
    // The desktop session ends: running transfers stop without a question and the window closes as
    // soon as they have, so settings are written back and no temporary is left.
    void OnSessionEnd();
    void RepositionWaitBox();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void StartSequence();
    void ShowQuota();
    void ApplyShape();
    void UpdateTopMostTip();
    void SetUpAccessibility(const BuiltDialog& built);
    void CloseOpenQuestions();

    SessionStore& m_store;
    QPoint m_startPosition;
    QPixmap m_background;
    CImageButtonEx* m_topMost = nullptr;
    CImageButton* m_minimize = nullptr;
    CImageButton* m_close = nullptr;
    CTransparentLabel* m_values[3] = {};
    CModalessMessageBox* m_waitBox = nullptr;
    CFilelistDlg* m_fileList = nullptr;
    QTimer m_startTimer;
    QTimer m_logoutTimer;
    bool m_startDone = false;
    bool m_closed = false;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

// What start-up hands the main window: shows it at the launch position and returns once it closed.
void RunMainWindow(const MainWindowRequest& request);
