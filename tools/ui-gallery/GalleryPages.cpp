#include "tools/ui-gallery/GalleryPages.h"

#include "app/SessionStore.h"
#include "res/DialogTemplates.h"
#include "res/SkinIds.h"
#include "res/Strings.h"
#include "tools/ui-gallery/SkinnedPreview.h"
#include "ui/DialogBuilder.h"
#include "ui/MessageBox.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CImageButtonEx.h"
#include "ui/controls/CModalessMessageBox.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/controls/CTransparentLabel.h"
#include "ui/dialogs/CConfirmReplacefileDlg.h"
#include "ui/dialogs/CDownloadSelectDlg.h"
#include "ui/dialogs/CTransmissionDlg.h"

#include <QApplication>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>

#include <memory>

namespace {

QWidget* TemplatePage(int id) {
    auto* host = new QWidget;
    host->setAutoFillBackground(true);
    DialogBuilder::Build(host, DialogTemplates::Get(id));
    return host;
}

QWidget* ConfirmReplacePage() {
    auto* host = new QWidget;
    host->setAutoFillBackground(true);
    const BuiltDialog built = DialogBuilder::Build(host, DialogTemplates::Get(DialogTemplates::ConfirmReplace));
    built.get<CTransparentLabel>(1048)->SetText(
        QString(Strings::ReplaceQuestionFormat)
            .replace(QLatin1String("%s"), QStringLiteral("보고서_2008년_상반기_최종본_수정...")));
    return host;
}

// The file list window as the main window embeds it: buttons sized from their bitmaps, download 1 px
// right of upload.
QWidget* FileListPage(QWidget* parent) {
    auto* host = new QWidget(parent);
    const BuiltDialog built = DialogBuilder::Build(host, DialogTemplates::Get(DialogTemplates::FileList));
    auto* upload = built.get<CImageButton>(1031);
    auto* download = built.get<CImageButton>(1030);
    download->move(upload->geometry().right() + 2, download->y());
    built.get<CThemeListCtrl>(1028)->SetStore(GalleryStore());
    built.get<CThemeListCtrl>(1028)->RefreshRows();
    return host;
}

QWidget* MainWindowPage() {
    auto* host = new SkinnedPreview(SkinIds::MainBackground);
    const BuiltDialog built = DialogBuilder::Build(host, DialogTemplates::Get(DialogTemplates::MainWindow), false);
    auto* top = built.get<CImageButtonEx>(1040);
    auto* minimize = built.get<CImageButton>(1036);
    auto* close = built.get<CImageButton>(1021);
    minimize->move(top->geometry().right() + 2, minimize->y());
    close->move(minimize->geometry().right() + 2, close->y());
    for (int id : {1004, 1005, 1006, 1051, 1052, 1053})
        built.byId.value(id)->setStyleSheet(QStringLiteral("color: #1d3f6b;"));
    QWidget* list = FileListPage(host);
    list->move((host->width() - list->width()) / 2, (host->height() - list->height()) / 2 + 44);
    built.get<CTransparentLabel>(1004)->SetText(QStringLiteral("1000MB"));
    built.get<CTransparentLabel>(1005)->SetText(QStringLiteral("12.4MB"));
    built.get<CTransparentLabel>(1006)->SetText(QStringLiteral("987.5MB"));
    return host;
}

QWidget* ImageButtonsPage() {
    auto* page = new QWidget;
    page->setAutoFillBackground(true);
    auto* grid = new QVBoxLayout(page);
    const int ids[] = {SkinIds::UploadButton, SkinIds::DownloadButton, SkinIds::DeleteButton,
                       SkinIds::CloseButton,  SkinIds::MinimizeButton, SkinIds::TopMostOff,
                       SkinIds::TopMostOn};
    for (int id : ids) {
        auto* row = new QHBoxLayout;
        auto* name = new QLabel(QString::number(id));
        name->setFixedWidth(30);
        row->addWidget(name);
        for (int state = 0; state < 4; ++state) {
            auto* button = new CImageButton;
            button->LoadBitmap(id, true);
            button->setFixedSize(button->BitmapSize());
            if (state == 1) {
                QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
                QApplication::sendEvent(button, &enter);
            } else if (state == 2) {
                button->setDown(true);
            } else if (state == 3) {
                button->setEnabled(false);
            }
            row->addWidget(button);
        }
        row->addStretch();
        grid->addLayout(row);
    }
    auto* legend = new QLabel(QStringLiteral("normal / hover / pressed / disabled"));
    grid->addWidget(legend);
    return page;
}

QWidget* TransparentLabelPage() {
    auto* host = new SkinnedPreview(SkinIds::MainBackground);
    auto* label = new CTransparentLabel(Strings::QuotaUsedLabel, host);
    label->setGeometry(100, 52, 160, 16);
    label->SetText(Strings::QuotaFreeLabel); // shorter than before: nothing of the old text may remain
    auto* two = new CTransparentLabel(Strings::WaitFileList, host);
    two->setGeometry(20, 120, 230, 24);
    return host;
}

QWidget* WaitBoxPage() {
    auto* box = new CModalessMessageBox;
    box->SetMessageText(Strings::WaitFileList);
    return box;
}

QWidget* FileListControlPage() {
    auto* list = new CThemeListCtrl(GalleryStore(), nullptr);
    list->resize(300, 160);
    list->RefreshRows();
    return list;
}

QWidget* DownloadSelectWindow() {
    auto* dlg = new CDownloadSelectDlg(GalleryStore());
    dlg->SetMessage(QString(Strings::DownloadCountFormat).replace(QLatin1String("%d"), QStringLiteral("3")));
    return dlg;
}

QWidget* ConfirmReplaceWindow(int several) {
    auto* dlg = new CConfirmReplacefileDlg;
    dlg->SetSeveralFiles(several);
    dlg->SetFileName(QStringLiteral("/home/user/보고서_2008년_상반기_최종본_수정.doc"));
    dlg->prepare();
    return dlg;
}

QWidget* TransmissionWindow() {
    auto* dlg = new CTransmissionDlg(GalleryStore(), TransferSettings{}, CTransmissionDlg::Download, nullptr);
    dlg->fileStarted(QStringLiteral("여행사진.jpg"), 2, 3);
    dlg->progress(1536 * 1024, 4096 * 1024);
    QCoreApplication::processEvents();
    return dlg;
}

// The main window with the waiting box over it, where the window puts it: centred, one caption lower.
QWidget* MainWindowWaitingPage() {
    std::unique_ptr<QWidget> window(MainWindowPage());
    window->setAttribute(Qt::WA_DontShowOnScreen);
    window->show();
    CModalessMessageBox box;
    box.SetMessageText(Strings::WaitFileList);
    box.setAttribute(Qt::WA_DontShowOnScreen);
    box.show();
    QCoreApplication::processEvents();
    QPixmap shot = window->grab();
    const QPixmap over = box.grab();
    const int caption = window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    QRect placed(QPoint(0, 0), box.size());
    placed.moveCenter(window->rect().center());
    {
        QPainter painter(&shot);
        painter.drawPixmap(placed.topLeft() + QPoint(0, caption), over);
    }
    auto* label = new QLabel;
    label->setPixmap(shot);
    return label;
}

QWidget* MessagePage(const QString& text, MessageIcon icon, MessageButtons buttons = MessageButtons::ByIcon) {
    return MakeMessageBox(nullptr, text, icon, buttons).release();
}

QString WithNumber(const QString& text, int number) {
    return QString(text).replace(QLatin1String("%d"), QString::number(number));
}

} // namespace

SessionStore& GalleryStore() {
    static SessionStore store(SessionStore::Settings::None);
    return store;
}

void FillSampleFiles() {
    SessionStore& store = GalleryStore();
    store.ClearFiles();
    const struct {
        const char16_t* name;
        qint32 size;
        const char16_t* date;
    } rows[] = {
        {u"보고서_2008년_상반기.doc", 482304, u"08-05-21"},
        {u"여행사진.jpg", 2311520, u"08-05-20"},
        {u"발표자료.ppt", 9437184, u"08-04-11"},
        {u"음악모음.mp3", 5242880, u"08-03-02"},
        {u"backup.zip", 73400320, u"08-02-28"},
        {u"readme.txt", 1024, u"08-01-15"},
        {u"movie_clip.avi", 104857600, u"07-12-24"},
    };
    int idx = 100;
    for (const auto& r : rows)
        store.AppendFile({0, idx++, QString::fromUtf16(r.name), r.size, QString::fromUtf16(r.date)});
}

std::vector<GalleryPage> GalleryPages() {
    return {
        {QStringLiteral("dialog-102-main-window"), MainWindowPage},
        {QStringLiteral("dialog-132-file-list"),
         [] {
             auto* w = FileListPage(nullptr);
             w->setAutoFillBackground(true);
             return w;
         }},
        {QStringLiteral("dialog-129-transfer"), [] { return TemplatePage(DialogTemplates::TransferDialog); }},
        {QStringLiteral("dialog-130-download-select"),
         [] { return TemplatePage(DialogTemplates::DownloadSelect); }},
        {QStringLiteral("dialog-171-confirm-replace"), ConfirmReplacePage},
        {QStringLiteral("dialog-178-wait-box"), WaitBoxPage},
        {QStringLiteral("control-image-buttons"), ImageButtonsPage},
        {QStringLiteral("control-transparent-label"), TransparentLabelPage},
        {QStringLiteral("control-theme-list"), FileListControlPage},
        {QStringLiteral("window-download-select"), DownloadSelectWindow},
        {QStringLiteral("window-confirm-replace"), [] { return ConfirmReplaceWindow(1); }},
        {QStringLiteral("window-confirm-replace-single"), [] { return ConfirmReplaceWindow(0); }},
        {QStringLiteral("window-transfer"), TransmissionWindow},
        {QStringLiteral("window-main-waiting"), MainWindowWaitingPage},
        {QStringLiteral("message-service-thread"),
         [] { return MessagePage(Strings::ServiceThreadFailed, MessageIcon::Error); }},
        {QStringLiteral("message-list-failed"),
         [] { return MessagePage(WithNumber(Strings::FileListFetchFailed, 12), MessageIcon::Error); }},
        {QStringLiteral("message-no-file-array"),
         [] { return MessagePage(Strings::ServiceAnswerInvalid, MessageIcon::Error); }},
        {QStringLiteral("message-update-check"),
         [] { return MessagePage(WithNumber(Strings::UpdateCheckFailed, 25), MessageIcon::Error); }},
        {QStringLiteral("message-version-refused"),
         [] { return MessagePage(Strings::VersionRefused, MessageIcon::Warning); }},
        {QStringLiteral("message-delete-busy"),
         [] { return MessagePage(Strings::DeleteBusyFile, MessageIcon::Information); }},
        {QStringLiteral("message-delete-failed"),
         [] { return MessagePage(WithNumber(Strings::DeleteFailed, 12), MessageIcon::Error); }},
        {QStringLiteral("message-delete-question"),
         [] { return MessagePage(Strings::DeleteQuestion, MessageIcon::Question); }},
        {QStringLiteral("message-delete-nothing"),
         [] { return MessagePage(Strings::DeleteNothingSelected, MessageIcon::Information); }},
        {QStringLiteral("message-download-nothing"),
         [] { return MessagePage(Strings::DownloadNothingSelected, MessageIcon::Information); }},
        {QStringLiteral("message-upload-unreadable"),
         [] { return MessagePage(Strings::UploadUnreadable, MessageIcon::Warning); }},
        {QStringLiteral("message-upload-space"),
         [] { return MessagePage(Strings::UploadSpaceQuestion, MessageIcon::Warning, MessageButtons::YesNo); }},
        {QStringLiteral("message-drop-folder"),
         [] { return MessagePage(Strings::DropFolderRefused, MessageIcon::Information); }},
        {QStringLiteral("message-drop-missing"),
         [] { return MessagePage(Strings::DropFileMissing, MessageIcon::Information); }},
        {QStringLiteral("message-close-busy"),
         [] { return MessagePage(Strings::CloseRefusedBusy, MessageIcon::Information); }},
    };
}
