#include "ui/windows/CQuorvaneDlg.h"

#include "app/Log.h"
#include "app/QuorvaneApp.h"
#include "app/SessionStore.h"
#include "app/Utils.h"
#include "app/platform/DesktopNotifier.h"
#include "app/platform/PrivateEvents.h"
#include "app/platform/SingleInstance.h"
#include "app/platform/TerminationSignals.h"
#include "res/DialogTemplates.h"
#include "res/Skin.h"
#include "res/SkinIds.h"
#include "res/Strings.h"
#include "service/FileService.h"
#include "ui/DialogBuilder.h"
#include "ui/KoreanTranslations.h"
#include "ui/MessageBox.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CImageButtonEx.h"
#include "ui/controls/CModalessMessageBox.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/controls/CTransparentLabel.h"
#include "ui/dialogs/CTransmissionDlg.h"
#include "ui/dialogs/QuestionGate.h"
#include "ui/windows/CFilelistDlg.h"
#include "ui/windows/SentFilesInbox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QWindow>

CQuorvaneDlg::CQuorvaneDlg(SessionStore& store, QPoint startPosition, std::shared_ptr<FileService> service,
                           CFilelistDlg::Desktop desktop, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), m_store(store), m_startPosition(startPosition) {
    m_store.SetMainWindow(this);
    setPalette(Skin::Palette());
    setWindowIcon(Skin::AppIcon());
    const BuiltDialog built = DialogBuilder::Build(this, DialogTemplates::Get(DialogTemplates::MainWindow));
    setWindowTitle(Strings::MainWindowTitle);
    m_background = Skin::LoadPixmap(SkinIds::MainBackground);
    if (!m_background.isNull()) {
        setFixedSize(m_background.deviceIndependentSize().toSize());
        // Outside the shape the skin is see-through, also where the window system cannot shape.
        m_background.setMask(Skin::OpaqueMask(m_background.toImage()));
    }
    // Running on Wayland itself (no X11 to prefer): the compositor shapes nothing, places the window
    // and keeps nothing on top, so the corners stay transparent and the always-on-top button goes.
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (wayland)
        setAttribute(Qt::WA_TranslucentBackground);
    ApplyShape();

    m_fileList = new CFilelistDlg(store, this, std::move(service), std::move(desktop));
    m_fileList->move((width() - m_fileList->width()) / 2, (height() - m_fileList->height()) / 2 + kFileListDown);
    m_fileList->show();
    if (m_fileList->List())
        m_fileList->List()->setFocus(); // the keyboard starts on the files, not on a caption button

    m_topMost = built.get<CImageButtonEx>(kTopMostId);
    m_minimize = built.get<CImageButton>(kMinimizeId);
    m_close = built.get<CImageButton>(kCloseId);
    if (m_topMost && m_minimize && m_close) {
        m_topMost->setCheckable(true); // checked while the window stays on top
        m_topMost->ShowSecond(m_store.GetAlwaysOnTop() != 0);
        const int imageWidth = m_minimize->BitmapSize().width();
        m_minimize->setGeometry(m_topMost->geometry().right() + 2, m_minimize->y(), imageWidth,
                                m_minimize->height());
        m_close->setGeometry(m_minimize->geometry().right() + 2, m_close->y(), imageWidth, m_close->height());
        m_minimize->setToolTip(Strings::TipMinimize);
        m_close->setToolTip(Strings::TipExit);
        UpdateTopMostTip();
        connect(m_close, &QAbstractButton::clicked, this,
                [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); });
        connect(m_minimize, &QAbstractButton::clicked, this, &QWidget::showMinimized);
        // Toggled, not clicked: a screen reader's toggle action changes the checked state only.
        connect(m_topMost, &QAbstractButton::toggled, this, [this](bool on) {
            if ((m_store.GetAlwaysOnTop() != 0) != on)
                ToggleAlwaysOnTop();
        });
    }
    if (wayland && m_topMost)
        m_topMost->hide();
    m_values[0] = built.get<CTransparentLabel>(kTotalId);
    m_values[1] = built.get<CTransparentLabel>(kUsedId);
    m_values[2] = built.get<CTransparentLabel>(kFreeId);
    SetUpAccessibility(built);

    const QRect placed = ClampRectToMonitor(QRect(m_startPosition, size()));
    move(placed.topLeft());
    setWindowFlag(Qt::WindowStaysOnTopHint, m_store.GetAlwaysOnTop() != 0);

    m_waitBox = new CModalessMessageBox(this);
    m_waitBox->hide();

    m_startTimer.setSingleShot(true);
    connect(&m_startTimer, &QTimer::timeout, this, &CQuorvaneDlg::StartSequence);
    m_startTimer.start(kStartTimerMs);
    m_logoutTimer.setSingleShot(true);
    connect(&m_logoutTimer, &QTimer::timeout, this,
            [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); });
}

CQuorvaneDlg::~CQuorvaneDlg() {
    m_startTimer.stop();
    delete m_fileList; // before the wait box it talks to
    m_fileList = nullptr;
    delete m_waitBox;
    m_waitBox = nullptr;
    if (m_store.MainWindow() == this)
        m_store.SetMainWindow(nullptr);
}

QString CQuorvaneDlg::QuotaText(int id) const {
    const int slot = id == kTotalId ? 0 : id == kUsedId ? 1 : id == kFreeId ? 2 : -1;
    return slot >= 0 && m_values[slot] ? m_values[slot]->text() : QString();
}

void CQuorvaneDlg::ApplyShape() {
    const QImage image = Skin::LoadImage(SkinIds::MainBackground);
    if (!image.isNull())
        setMask(Skin::OpaqueMask(image));
}

void CQuorvaneDlg::UpdateTopMostTip() {
    if (!m_topMost)
        return;
    const bool on = m_store.GetAlwaysOnTop() != 0;
    m_topMost->setToolTip(on ? Strings::TipAlwaysOnTopOff : Strings::TipAlwaysOnTopOn);
    m_topMost->setChecked(on);
}

void CQuorvaneDlg::SetUpAccessibility(const BuiltDialog& built) {
    // Screen readers and keyboard users meet the caption buttons by what they do, not by "*", "_", "x".
    if (m_topMost)
        m_topMost->setAccessibleName(Strings::AccessibleAlwaysOnTop);
    if (m_minimize)
        m_minimize->setAccessibleName(Strings::TipMinimize);
    if (m_close)
        m_close->setAccessibleName(Strings::AccessibleExit);
    // Each quota value carries its label's words as its name.
    const int labelIds[3] = {kTotalLabelId, kUsedLabelId, kFreeLabelId};
    for (int i = 0; i < 3; ++i) {
        if (!m_values[i])
            continue;
        if (auto* label = built.get<QLabel>(labelIds[i])) {
            QString name = label->text();
            if (name.endsWith(u':'))
                name.chop(1);
            m_values[i]->setAccessibleName(name);
            m_values[i]->setAccessibleDescription(m_values[i]->text());
            label->setBuddy(m_values[i]);
        }
    }
    // Tab goes from the list through the file buttons to the caption buttons and back.
    if (m_fileList && m_topMost && m_minimize && m_close) {
        QWidget* last = m_fileList->LastInTabOrder();
        setTabOrder(last, m_topMost);
        setTabOrder(m_topMost, m_minimize);
        setTabOrder(m_minimize, m_close);
    }
}

void CQuorvaneDlg::StartSequence() {
    m_startTimer.stop();
    if (!m_fileList)
        return;
    m_fileList->VersionCheck();
    // A close during the check ends here, before the service is marked ready: nothing may start after it.
    if (m_closed)
        return; // closed while the check ran
    if (m_store.VersionCheckResult() != 0) {
        ShowMessage(this, Strings::VersionRefused, MessageIcon::Warning);
        close();
        return;
    }
    if (m_store.ServiceReady())
        m_fileList->RefreshList();
    else if (m_waitBox)
        m_waitBox->hide();
    m_store.SetServiceReady(true);
    m_startDone = true;
}

void CQuorvaneDlg::ShowQuota() {
    const qint32 values[3] = {m_store.QuotaTotal(), m_store.QuotaUsed(), m_store.QuotaFree()};
    for (int i = 0; i < 3; ++i) {
        if (m_values[i]) {
            m_values[i]->SetText(FormatSize(values[i]));
            // A label with a name of its own is read by that name; the value goes with it.
            m_values[i]->setAccessibleDescription(m_values[i]->text());
        }
    }
}

void CQuorvaneDlg::ToggleAlwaysOnTop() {
    const bool on = m_store.ToggleAlwaysOnTop() != 0;
    m_store.SaveSettingsNow();
    if (m_topMost)
        m_topMost->ShowSecond(on);
    UpdateTopMostTip();
    // Changing the widget's flags would hide and recreate the window (ending its modal loop); the
    // window itself takes the hint in place, without moving, resizing or hiding.
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    overrideWindowFlags(flags);
    if (QWindow* window = windowHandle())
        window->setFlags(flags);
}

void CQuorvaneDlg::OnToolbarLogout() {
    if (m_store.TestAndSetExitPending())
        return;
    const bool busy = m_store.AnyTransferActive();
    const QString& text = busy ? Strings::LogoutAfterTransfer : Strings::LogoutClosing;
    if (!busy)
        m_logoutTimer.start(kLogoutCloseMs);
    if (m_waitBox && isVisible()) {
        m_waitBox->SetMessageText(text);
        RepositionWaitBox();
        m_waitBox->show();
    }
    QApplication::beep();
}

void CQuorvaneDlg::OnSessionEnd() {
    m_store.SetExitPending(true);
    m_logoutTimer.stop();
    CloseOpenQuestions();
    const QList<QObject*> transfers = m_store.TransferDialogs();
    for (QObject* transfer : transfers) {
        if (auto* dialog = qobject_cast<CTransmissionDlg*>(transfer))
            dialog->CancelTransfer();
    }
    // Otherwise the file list closes this window when the last cancelled transfer has ended.
    if (!m_store.AnyTransferActive())
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void CQuorvaneDlg::RepositionWaitBox() {
    if (!m_waitBox)
        return;
    const int caption = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect frame = geometry();
    QRect box(QPoint(0, 0), m_waitBox->size());
    box.moveCenter(frame.center());
    m_waitBox->move(box.topLeft() + QPoint(0, caption));
}

bool CQuorvaneDlg::event(QEvent* event) {
    if (RecordOf<QuotaChange>(event)) {
        ShowQuota();
        return true;
    }
    if (const auto* box = RecordOf<WaitBoxRequest>(event)) {
        if (!m_waitBox)
            return true;
        if (box->show) {
            if (isVisible()) {
                m_waitBox->SetMessageText(box->text);
                RepositionWaitBox();
                m_waitBox->show();
            }
        } else {
            m_waitBox->hide();
        }
        return true;
    }
    if (RecordOf<LogoutRequest>(event)) {
        OnToolbarLogout();
        return true;
    }
    return QDialog::event(event);
}

void CQuorvaneDlg::closeEvent(QCloseEvent* event) {
    if (m_store.ServiceReady() && m_store.AnyTransferActive()) {
        ShowMessage(this, Strings::CloseRefusedBusy, MessageIcon::Information);
        event->ignore();
        return;
    }
    // Running service workers are not killed: the file list stops waiting and, when it goes, gives
    // each a bounded wait after telling it nobody listens any more.
    if (m_fileList)
        m_fileList->NoteCloseRequest();
    m_startTimer.stop();
    m_logoutTimer.stop();
    if (m_waitBox)
        m_waitBox->hide();
    m_closed = true;
    CloseOpenQuestions();
    QDialog::closeEvent(event);
    done(QDialog::Accepted);
}

void CQuorvaneDlg::CloseOpenQuestions() {
    // A box or dialog still open over this window (the toolbar logged out while it asked) goes with
    // it, answered as declined; its caller checks again that the program is not ending.
    const QList<QDialog*> dialogs = findChildren<QDialog*>();
    for (QDialog* dialog : dialogs) {
        if (dialog->isVisible() && dialog->isModal())
            dialog->reject();
    }
}

void CQuorvaneDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CQuorvaneDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (isMinimized()) {
        const QPixmap icon = windowIcon().pixmap(32, 32);
        painter.drawPixmap((width() - icon.width()) / 2, (height() - icon.height()) / 2, icon);
        return;
    }
    painter.drawPixmap(0, 0, m_background);
}

void CQuorvaneDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QDialog::mousePressEvent(event);
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CQuorvaneDlg::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging)
        move(event->globalPosition().toPoint() - m_dragOffset);
    else
        QDialog::mouseMoveEvent(event);
}

void CQuorvaneDlg::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}

void CQuorvaneDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    RepositionWaitBox();
}

void CQuorvaneDlg::changeEvent(QEvent* event) {
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::ThemeChange)
        ApplyShape();
    QDialog::changeEvent(event);
}

void RunMainWindow(const MainWindowRequest& request) {
    InstallKoreanTranslations();
    CFilelistDlg::Desktop desktop;
    SessionStore& store = *request.store;
    desktop.notifier = std::make_shared<SessionBusNotifier>(QGuiApplication::desktopFileName());
    // The deployment's endpoints are read here, once, for the service calls and the transfers alike.
    desktop.transferPages = TransferSettings::FromDeployment();
    auto service = std::make_shared<FileService>(FileServiceSettings::FromDeployment());
    CQuorvaneDlg dialog(store, QPoint(request.left, request.top), std::move(service), std::move(desktop));
    qCInfo(lcUi, "main window at %d,%d", dialog.x(), dialog.y());
    const auto bringForward = [&dialog] {
        dialog.setWindowState(dialog.windowState() & ~Qt::WindowMinimized);
        dialog.show();
        dialog.raise();
        dialog.activateWindow();
        QApplication::alert(&dialog);
    };
    // Files sent from a file manager go up as a drop on the list would, once the window could take one.
    SentFilesInbox inbox(
        [&dialog, &store] {
            // The gate is busy while a call waits or a question is open, as for any drop.
            return dialog.FileList() && !dialog.Closed() && !store.ExitPending() && QuestionGate::Free();
        },
        [&dialog](const QStringList& paths) { dialog.FileList()->UploadPaths(paths); });
    if (request.instance) {
        QObject::connect(request.instance, &SingleInstance::activateRequested, &dialog, [bringForward] {
            qCInfo(lcUi, "activated by another copy");
            bringForward();
        });
        QObject::connect(request.instance, &SingleInstance::logoutRequested, &dialog,
                         &CQuorvaneDlg::OnToolbarLogout);
        request.instance->SetFilesHandler([&dialog, &inbox, &store, bringForward](const QStringList& paths) {
            // Before the first list there is no session to upload with; at the end nothing is taken.
            if (!dialog.FileList() || !dialog.StartSequenceDone() || dialog.Closed() || store.ExitPending() ||
                !inbox.Add(paths))
                return false;
            qCInfo(lcUi, "%d files sent from the desktop", int(paths.size()));
            bringForward();
            return true;
        });
    }
    TerminationSignals sessionEnd;
    QObject::connect(&sessionEnd, &TerminationSignals::requested, &dialog, [&dialog](int number) {
        qCInfo(lcUi, "ending on signal %d", number);
        dialog.OnSessionEnd();
    });
    dialog.exec();
    if (request.instance)
        request.instance->SetFilesHandler({});
}
