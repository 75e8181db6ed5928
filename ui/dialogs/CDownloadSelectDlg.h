#pragma once
// Asks where a download batch goes and whether its folder is opened afterwards.
#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Chooses a folder in the user's place; attached to a window by the window's creator.
class FolderBrowser : public QObject {
    Q_OBJECT
public:
    explicit FolderBrowser(QWidget* window) : QObject(window) {}
    // The chosen folder, empty when cancelled.
    virtual QString Browse(const QString& start) = 0;
};

class SessionStore;

class CDownloadSelectDlg : public QDialog {
    Q_OBJECT
public:
    enum ControlId {
        IdMessage = 1016,
        IdFolder = 1012,
        IdBrowse = 1013,
        IdOpenFolder = 1015,
        IdStart = 1,
        IdCancel = 2
    };

    // The stored download folder is read from `store`, which outlives the dialog.
    explicit CDownloadSelectDlg(SessionStore& store, QWidget* parent = nullptr);

    void SetMessage(const QString& text);
    QString Message() const { return m_message; }
    // After OK: the folder, always ending in "/".
    QString Folder() const { return m_folder; }
    int OpenFolder() const { return m_openFolder; }
    void SetOpenFolder(int on);

    QWidget* control(int id) const;

    // The browser's start folder for a stored folder: without its trailing "/" (the root stays "/").
    static QString BrowseStartFolder(const QString& stored);

public Q_SLOTS:
    void accept() override;

private:
    void onBrowse();

    SessionStore& m_store;
    QString m_message;
    QString m_folder;
    int m_openFolder = 1;
    QLabel* m_messageLabel = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    QPushButton* m_browse = nullptr;
    QCheckBox* m_openCheck = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
};
