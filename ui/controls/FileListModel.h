#pragma once
// Owner-data model of the shared file list: no rows are copied in; every cell is read from the
// SessionStore when the view asks for it. Refresh() after the store's rows changed.
#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>

class SessionStore;

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn = 0, SizeColumn = 1, DateColumn = 2, ColumnCount = 3 };

    explicit FileListModel(SessionStore& store, QObject* parent = nullptr);

    void Refresh(); // takes the store's current row count and resets the view
    void SetShowIcons(bool show);
    QIcon IconForName(const QString& fileName) const; // by type from the name alone, no file access

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    SessionStore& m_store;
    int m_rowCount = 0;
    bool m_showIcons = true;
    QMimeDatabase m_mimes;
    mutable QHash<QString, QIcon> m_iconCache; // by MIME type name
};
