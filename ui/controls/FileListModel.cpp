#include "ui/controls/FileListModel.h"

#include "app/SessionStore.h"
#include "app/Utils.h"
#include "res/Skin.h"
#include "res/Strings.h"

FileListModel::FileListModel(SessionStore& store, QObject* parent) : QAbstractTableModel(parent), m_store(store) {
    m_rowCount = m_store.FileCount();
}

void FileListModel::Refresh() {
    beginResetModel();
    m_rowCount = m_store.FileCount();
    endResetModel();
}

void FileListModel::SetShowIcons(bool show) {
    if (m_showIcons == show)
        return;
    m_showIcons = show;
    if (m_rowCount > 0)
        emit dataChanged(index(0, NameColumn), index(m_rowCount - 1, NameColumn), {Qt::DecorationRole});
}

QIcon FileListModel::IconForName(const QString& fileName) const {
    const QMimeType type = m_mimes.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    const QString key = type.name();
    if (auto it = m_iconCache.constFind(key); it != m_iconCache.constEnd())
        return *it;
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = Skin::FallbackFileIcon();
    m_iconCache.insert(key, icon);
    return icon;
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rowCount;
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rowCount)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            Qt::Alignment((index.column() == SizeColumn ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::DecorationRole)
        return {};
    if (role == Qt::DecorationRole && (index.column() != NameColumn || !m_showIcons))
        return {};
    // The store may have shrunk since the last Refresh(); such a row shows nothing.
    const std::optional<FileRow> row = m_store.FileAt(index.row());
    if (!row)
        return {};
    if (role == Qt::ToolTipRole)
        return row->name;
    if (role == Qt::DecorationRole)
        return IconForName(row->name);
    switch (index.column()) {
    case NameColumn:
        return row->name;
    case SizeColumn:
        return FormatSize(row->size);
    case DateColumn:
        return row->regDate;
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            Qt::Alignment((section == SizeColumn ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return Strings::ColumnName;
    case SizeColumn:
        return Strings::ColumnSize;
    case DateColumn:
        return Strings::ColumnDate;
    default:
        return {};
    }
}
