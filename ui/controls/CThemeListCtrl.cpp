#include "ui/controls/CThemeListCtrl.h"

#include "app/SessionStore.h"
#include "app/platform/PrivateEvents.h"
#include "ui/controls/FileListModel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QUrl>

namespace {

// Draws the cell and its right and bottom grid lines.
class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(QColor(0xd9, 0xe1, 0xea));
        const QRect r = option.rect;
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(qMax(size.height(), 18));
        return size;
    }
};

} // namespace

CThemeListCtrl::CThemeListCtrl(QWidget* parent) : QTreeView(parent) {
    Setup();
}

CThemeListCtrl::CThemeListCtrl(SessionStore& store, QWidget* parent) : QTreeView(parent) {
    Setup();
    SetStore(store);
}

void CThemeListCtrl::SetStore(SessionStore& store) {
    if (m_model)
        return;
    m_model = new FileListModel(store, this);
    m_model->SetShowIcons(m_useSystemImageList);
    setModel(m_model);
    QHeaderView* h = header();
    h->resizeSection(FileListModel::NameColumn, 100);
    h->resizeSection(FileListModel::SizeColumn, 56);
    AutoSizeDateColumn();
}

void CThemeListCtrl::Setup() {
    setItemDelegate(new GridDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setTextElideMode(Qt::ElideRight);
    setIconSize(QSize(16, 16));
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    setFrameShape(QFrame::Box);
    setStyleSheet(QStringLiteral(
        "QTreeView { border: 1px solid #9fb6d3; background: white; color: #101c2c;"
        " selection-background-color: #3d86db; selection-color: white; }"
        // Past the last section the header would otherwise fill with the desktop palette's button colour.
        "QHeaderView { background: #e3ecf7; }"
        "QHeaderView::section { color: #101c2c; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 "
        "#fbfdff, stop:1 #e3ecf7);"
        " border: 0px; border-right: 1px solid #c3d2e4; border-bottom: 1px solid #9fb6d3; padding: 1px 4px; }"));

    QHeaderView* h = header();
    h->setSectionsClickable(true);
    h->setSectionsMovable(true);
    h->setSortIndicatorShown(false);
    h->setStretchLastSection(false);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    h->setMinimumSectionSize(10);
    connect(h, &QHeaderView::sectionClicked, this, &CThemeListCtrl::HeaderClicked);
    // The second click of a quick pair arrives as a double click, which the header does not count as a
    // click: it is one all the same (the border between two titles reports a handle instead).
    connect(h, &QHeaderView::sectionDoubleClicked, this, &CThemeListCtrl::HeaderClicked);
    connect(h, &QHeaderView::sectionMoved, this, [this] { viewport()->update(); });
}

void CThemeListCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QTreeView::drawRow(painter, option, index);
    if (!hasFocus() || index.row() != currentIndex().row())
        return;
    // The keyboard's row: a clear frame over the selected and the plain colours alike.
    painter->save();
    const QRect row = option.rect.adjusted(0, 0, -1, -1);
    painter->setPen(QPen(QColor(0x1a, 0x3f, 0x6b), 1));
    painter->drawRect(row);
    painter->setPen(QPen(Qt::white, 1, Qt::DotLine));
    painter->drawRect(row.adjusted(1, 1, -1, -1));
    painter->restore();
}

void CThemeListCtrl::ClearSortIndicator() {
    header()->setSortIndicatorShown(false);
}

void CThemeListCtrl::SetUseSystemImageList(bool use) {
    m_useSystemImageList = use;
    if (m_model)
        m_model->SetShowIcons(use);
}

void CThemeListCtrl::RefreshRows() {
    if (m_model)
        m_model->Refresh();
    AutoSizeDateColumn();
}

void CThemeListCtrl::AutoSizeDateColumn() {
    // The header's own size hint for the section is the width of its title.
    const int width = header()->sectionSizeHint(FileListModel::DateColumn);
    if (width > 0)
        header()->resizeSection(FileListModel::DateColumn, width);
}

void CThemeListCtrl::HeaderClicked(int column) {
    m_ascending = column != m_lastColumn ? true : !m_ascending;
    // The arrow shows the order; the view itself never sorts (the sort is the window's).
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, m_ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    SendPrivate(parentWidget(), SortRequest{column, m_ascending});
    m_lastColumn = column;
}

QString CThemeListCtrl::ToolTipTextAt(const QPoint& viewportPos, QRect* itemRect) const {
    if (!m_model || !viewport()->rect().contains(viewportPos) || m_model->rowCount() == 0)
        return {};
    const QModelIndex index = indexAt(viewportPos);
    if (!index.isValid())
        return {};
    const QModelIndex nameIndex = m_model->index(index.row(), FileListModel::NameColumn);
    if (itemRect) {
        QRect rowRect = visualRect(nameIndex);
        for (int c = 1; c < FileListModel::ColumnCount; ++c)
            rowRect = rowRect.united(visualRect(m_model->index(index.row(), c)));
        *itemRect = rowRect;
    }
    return m_model->data(nameIndex, Qt::DisplayRole).toString();
}

bool CThemeListCtrl::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        QRect rect;
        const QString text = ToolTipTextAt(help->pos(), &rect);
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport(), rect);
        return true;
    }
    return QTreeView::viewportEvent(event);
}

QStringList CThemeListCtrl::LocalPathsOf(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << url.toLocalFile();
    return paths;
}

void CThemeListCtrl::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalPathsOf(event->mimeData()).isEmpty()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CThemeListCtrl::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalPathsOf(event->mimeData()).isEmpty()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CThemeListCtrl::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalPathsOf(event->mimeData());
    if (!paths.isEmpty())
        PostPrivate(parentWidget(), DroppedFiles{paths});
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
