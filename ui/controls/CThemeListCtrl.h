#pragma once
// The file list view: three columns over the owner-data FileListModel, grid lines and full-row selection,
// local files dropped on it posted to the parent as FilesDropped, header clicks sent as SortList, and the
// file name as the tooltip of the row under the pointer.
#include <QTreeView>

class FileListModel;
class SessionStore;

class CThemeListCtrl : public QTreeView {
    Q_OBJECT
public:
    // Without a store the view shows no rows until SetStore gives it the one it lists.
    explicit CThemeListCtrl(QWidget* parent = nullptr);
    CThemeListCtrl(SessionStore& store, QWidget* parent);
    void SetStore(SessionStore& store); // once

    FileListModel* ListModel() const { return m_model; }
    void SetUseSystemImageList(bool use); // icons by file type in column 0
    void RefreshRows();                   // the store's rows changed
    void AutoSizeDateColumn();            // column 2 to the width of its header
    void ClearSortIndicator();            // a fresh list comes in the service's order

    int LastSortedColumn() const { return m_lastColumn; }
    bool Ascending() const { return m_ascending; }
    void HeaderClicked(int column); // as a click on that header section

    // The tooltip at a point of the viewport: the item's file name and its rectangle; empty when none.
    QString ToolTipTextAt(const QPoint& viewportPos, QRect* itemRect = nullptr) const;

    static QStringList LocalPathsOf(const QMimeData* data); // file URLs in drop order

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void Setup();

    FileListModel* m_model = nullptr;
    bool m_useSystemImageList = true;
    int m_lastColumn = -1;
    bool m_ascending = false;
};
