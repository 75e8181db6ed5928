#include "ui/dialogs/CDownloadSelectDlg.h"

#include "app/SessionStore.h"
#include "app/Utils.h"
#include "res/DialogTemplates.h"
#include "res/Strings.h"
#include "ui/Attached.h"
#include "ui/DialogBuilder.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CDownloadSelectDlg::CDownloadSelectDlg(SessionStore& store, QWidget* parent) : QDialog(parent), m_store(store) {
    const BuiltDialog built = DialogBuilder::Build(this, DialogTemplates::Get(DialogTemplates::DownloadSelect));
    m_messageLabel = built.get<QLabel>(IdMessage);
    m_folderEdit = built.get<QLineEdit>(IdFolder);
    m_browse = built.get<QPushButton>(IdBrowse);
    m_openCheck = built.get<QCheckBox>(IdOpenFolder);
    m_start = built.get<QPushButton>(IdStart);
    m_cancel = built.get<QPushButton>(IdCancel);
    m_messageLabel->setWordWrap(false);

    m_folder = m_store.GetDownloadFolder();
    m_folderEdit->setText(m_folder);
    m_folderEdit->setCursorPosition(0);
    m_message = m_messageLabel->text();
    m_openCheck->setChecked(m_openFolder != 0);

    connect(m_browse, &QPushButton::clicked, this, &CDownloadSelectDlg::onBrowse);
    connect(m_start, &QPushButton::clicked, this, &CDownloadSelectDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CDownloadSelectDlg::reject);
    m_start->setFocus();
}

void CDownloadSelectDlg::SetMessage(const QString& text) {
    m_message = text;
    m_messageLabel->setText(text);
}

void CDownloadSelectDlg::SetOpenFolder(int on) {
    m_openFolder = on ? 1 : 0;
    m_openCheck->setChecked(on != 0);
}

QWidget* CDownloadSelectDlg::control(int id) const {
    switch (id) {
    case IdMessage:
        return m_messageLabel;
    case IdFolder:
        return m_folderEdit;
    case IdBrowse:
        return m_browse;
    case IdOpenFolder:
        return m_openCheck;
    case IdStart:
        return m_start;
    case IdCancel:
        return m_cancel;
    default:
        return nullptr;
    }
}

QString CDownloadSelectDlg::BrowseStartFolder(const QString& stored) {
    QString start = stored;
    if (start.endsWith(u'/'))
        start.chop(1);
    // The root has nothing left once its separator goes; an empty start would mean "anywhere".
    if (start.isEmpty() && stored.startsWith(u'/'))
        start = QStringLiteral("/");
    return start;
}

void CDownloadSelectDlg::onBrowse() {
    const QString start = BrowseStartFolder(m_store.GetDownloadFolder());
    FolderBrowser* browser = FindAttached<FolderBrowser>(this);
    const QString chosen = browser ? browser->Browse(start)
                                   : QFileDialog::getExistingDirectory(this, Strings::BrowseFolderTitle, start,
                                                                       QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return; // cancelled: the field keeps what it had
    m_folderEdit->setText(WithTrailingSlash(chosen));
}

void CDownloadSelectDlg::accept() {
    m_message = m_messageLabel->text();
    m_openFolder = m_openCheck->isChecked() ? 1 : 0;
    const QString typed = m_folderEdit->text().trimmed();
    const QString folder = WithTrailingSlash(typed);
    m_folder = folder;
    // An empty field names no folder; it must not turn into the root.
    if (typed.isEmpty() || !PathExists(folder)) {
        ShowMessage(this, Strings::FolderMissing, MessageIcon::Information);
        return;
    }
    if (!IsValidFolderPath(folder)) {
        ShowMessage(this, Strings::FolderInvalid, MessageIcon::Information);
        return;
    }
    QDialog::accept();
}
