#include "app/SessionStore.h"
#include "app/Utils.h"
#include "app/platform/PrivateEvents.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/controls/FileListModel.h"

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include <memory>

namespace {

// Stands in for the file list window: records the private messages and sorts on SortList.
class Receiver : public QWidget {
public:
    explicit Receiver(SessionStore& store) : m_store(store) {}
    struct Got {
        PrivateMessage message;
        SortRequest sort;
        QStringList paths;
    };
    QList<Got> got;
    CThemeListCtrl* list = nullptr;

protected:
    bool event(QEvent* e) override {
        if (const auto* sort = RecordOf<SortRequest>(e)) {
            got.push_back({PrivateMessage::SortList, *sort, {}});
            m_store.SortFiles(sort->column, sort->ascending);
            if (list)
                list->RefreshRows();
            return true;
        }
        if (const auto* dropped = RecordOf<DroppedFiles>(e)) {
            got.push_back({PrivateMessage::FilesDropped, {}, dropped->paths});
            return true;
        }
        return QWidget::event(e);
    }

private:
    SessionStore& m_store;
};

} // namespace

class TestThemeList : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_store = std::make_unique<SessionStore>(SessionStore::Settings::None);
        m_store->AppendFiles({{0, 1, QStringLiteral("b.txt"), 300, QStringLiteral("08-05-21")},
                              {0, 2, QStringLiteral("a.jpg"), 2000000, QStringLiteral("08-01-02")},
                              {0, 3, QStringLiteral("c.zip"), 10, QStringLiteral("07-12-31")}});
        m_receiver = std::make_unique<Receiver>(*m_store);
        m_list = new CThemeListCtrl(*m_store, m_receiver.get());
        m_receiver->list = m_list;
        m_list->setGeometry(0, 0, 300, 200);
        m_receiver->resize(300, 200);
    }
    void cleanup() {
        m_receiver.reset();
        m_store.reset();
    }

    void columns() {
        auto* model = m_list->ListModel();
        QCOMPARE(model->columnCount(), 3);
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("파일명"));
        QCOMPARE(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("크기"));
        QCOMPARE(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("등록날짜"));
        QCOMPARE(m_list->header()->sectionSize(0), 100);
        QCOMPARE(m_list->header()->sectionSize(1), 56);
        QCOMPARE(m_list->header()->sectionSize(2), m_list->header()->sectionSizeHint(2));
        QCOMPARE(model->data(model->index(1, 1), Qt::DisplayRole).toString(), FormatSize(2000000));
        QCOMPARE(model->data(model->index(0, 2), Qt::DisplayRole).toString(), QStringLiteral("08-05-21"));
        QVERIFY(model->data(model->index(1, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
        QVERIFY(!model->data(model->index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(m_list->uniformRowHeights());
        QCOMPARE(m_list->selectionBehavior(), QAbstractItemView::SelectRows);
    }
    void rowsReadOnDemand() {
        m_store->AppendFile({0, 4, QStringLiteral("d.txt"), 1, QStringLiteral("08-01-01")});
        QCOMPARE(m_list->ListModel()->rowCount(), 3);
        m_list->RefreshRows();
        QCOMPARE(m_list->ListModel()->rowCount(), 4);
        m_store->ClearFiles(); // shrunk before the next refresh: rows read as empty, never out of range
        QVERIFY(!m_list->ListModel()->data(m_list->ListModel()->index(3, 0), Qt::DisplayRole).isValid());
    }
    void headerClicksSort_data() {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QList<bool>>("ascending");
        QTest::addColumn<QStringList>("firstNames");
        QTest::newRow("same column thrice")
            << QList<int>{0, 0, 0} << QList<bool>{true, false, true}
            << QStringList{QStringLiteral("a.jpg"), QStringLiteral("c.zip"), QStringLiteral("a.jpg")};
        QTest::newRow("size then date")
            << QList<int>{1, 1, 2} << QList<bool>{true, false, true}
            << QStringList{QStringLiteral("c.zip"), QStringLiteral("a.jpg"), QStringLiteral("c.zip")};
    }
    void headerClicksSort() {
        QFETCH(QList<int>, clicks);
        QFETCH(QList<bool>, ascending);
        QFETCH(QStringList, firstNames);
        for (int i = 0; i < clicks.size(); ++i) {
            emit m_list->header()->sectionClicked(clicks[i]);
            QCOMPARE(m_receiver->got.size(), i + 1);
            QCOMPARE(m_receiver->got[i].sort.column, clicks[i]);
            QCOMPARE(m_receiver->got[i].sort.ascending, ascending[i]);
            QCOMPARE(m_list->ListModel()->data(m_list->ListModel()->index(0, 0), Qt::DisplayRole).toString(),
                     firstNames[i]);
        }
    }
    // Two quick clicks on a header are two sort requests, as two slow ones are; a double click on the
    // border between two headers sorts nothing.
    // Any column, either way: the order of a plain stable sort by the whole texts (UTF-16 units) or sizes,
    // also for texts alike in their first units, units beyond the BMP, negative sizes and equal rows; equal
    // rows keep the order of the sort before; a beginning every text shares; a list long enough to be
    // sorted in two halves.
    void sortMatchesStableOrder_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QString>("shared"); // put before every name and date
        QTest::addColumn<int>("rows");
        for (int column = 0; column < 3; ++column)
            for (bool ascending : {true, false}) {
                QTest::addRow("column %d %s", column, ascending ? "ascending" : "descending")
                    << column << ascending << QString() << 3000;
                QTest::addRow("column %d %s, shared beginning", column, ascending ? "ascending" : "descending")
                    << column << ascending << QStringLiteral("파일_") << 3000;
            }
        QTest::newRow("column 0 ascending, long") << 0 << true << QString() << 70000;
        QTest::newRow("column 2 descending, long") << 2 << false << QStringLiteral("20") << 70000;
        QTest::newRow("column 1 ascending, long") << 1 << true << QString() << 70000;
    }
    void sortMatchesStableOrder() {
        QFETCH(int, column);
        QFETCH(bool, ascending);
        QFETCH(QString, shared);
        QFETCH(int, rows);
        // A small alphabet makes long shared beginnings and equal texts common.
        const QStringList pieces{QStringLiteral("a"),      QStringLiteral("b"),
                                 QStringLiteral("\u00e9"), QStringLiteral("\uac00"),
                                 QStringLiteral("\uff5e"), QString::fromUcs4(U"\U0001F600"),
                                 QString(QChar(0)),        QStringLiteral("_")};
        std::vector<FileRow> files;
        quint32 seed = 7;
        auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
        for (int i = 0; i < rows; ++i) {
            QString name = shared + (i % 3 == 0 ? QStringLiteral("common-prefix-") : QString());
            QString date = shared;
            for (int k = 0, n = int(next() % 12); k < n; ++k)
                name += pieces[int(next() % pieces.size())];
            for (int k = 0, n = int(next() % 9); k < n; ++k)
                date += pieces[int(next() % 3)];
            const qint32 size = qint32(next() % 7) * (next() % 2 ? 1 : -1) * 1000003;
            files.push_back({0, i, name, size, date});
        }
        auto less = [](int by) {
            return [by](const FileRow& a, const FileRow& b) {
                switch (by) {
                case 1:
                    return a.size < b.size;
                case 2:
                    return QString::compare(a.regDate, b.regDate, Qt::CaseSensitive) < 0;
                default:
                    return QString::compare(a.name, b.name, Qt::CaseSensitive) < 0;
                }
            };
        };
        // First by another column, descending, so equal rows start out of their arrival order.
        const int before = (column + 1) % 3;
        std::vector<FileRow> expected = files;
        std::stable_sort(expected.begin(), expected.end(),
                         [&](const FileRow& a, const FileRow& b) { return less(before)(b, a); });
        if (ascending)
            std::stable_sort(expected.begin(), expected.end(), less(column));
        else
            std::stable_sort(expected.begin(), expected.end(),
                             [&](const FileRow& a, const FileRow& b) { return less(column)(b, a); });
        m_store->ClearFiles();
        m_store->AppendFiles(files);
        m_store->SortFiles(before, false);
        m_store->SortFiles(column, ascending);
        QCOMPARE(m_store->FileCount(), int(expected.size()));
        for (int i = 0; i < int(expected.size()); ++i)
            QCOMPARE(m_store->FileAt(i)->idx, expected[size_t(i)].idx);
        QCOMPARE(m_store->FindFileByName(expected.back().name)->idx,
                 std::find_if(expected.begin(), expected.end(), [&](const FileRow& r) {
                     return r.name == expected.back().name;
                 })->idx);
    }

    void doubleClickOnHeader_data() {
        QTest::addColumn<bool>("onBorder");
        QTest::addColumn<QList<bool>>("ascending"); // each sort request of the name column
        QTest::newRow("on a title") << false << QList<bool>{true, false};
        QTest::newRow("on a border") << true << QList<bool>{};
    }
    void doubleClickOnHeader() {
        QFETCH(bool, onBorder);
        QFETCH(QList<bool>, ascending);
        m_receiver->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_receiver.get()));
        QHeaderView* header = m_list->header();
        const int x = onBorder ? header->sectionSize(0) - 1 : header->sectionSize(0) / 2;
        // Through the window, so the application turns the second press into a double click as it
        // does for real input.
        const QPoint at = header->viewport()->mapTo(m_receiver.get(), QPoint(x, header->height() / 2));
        QTest::mouseDClick(m_receiver->windowHandle(), Qt::LeftButton, {}, at);
        QCOMPARE(m_receiver->got.size(), ascending.size());
        for (int i = 0; i < ascending.size(); ++i) {
            QCOMPARE(m_receiver->got[i].sort.column, 0);
            QCOMPARE(m_receiver->got[i].sort.ascending, ascending[i]);
        }
    }
    void dropPostsPathsInOrder_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("three files") << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/z.txt")),
                                                    QUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt")),
                                                    QUrl::fromLocalFile(QStringLiteral("/home/사진.jpg"))}
                                     << QStringList{QStringLiteral("/tmp/z.txt"), QStringLiteral("/tmp/a b.txt"),
                                                    QStringLiteral("/home/사진.jpg")};
        QTest::newRow("zero files") << QList<QUrl>{} << QStringList{};
        QTest::newRow("remote only") << QList<QUrl>{QUrl(QStringLiteral("https://example.invalid/x"))}
                                     << QStringList{};
    }
    void dropPostsPathsInOrder() {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QStringList, expected);
        QMimeData data;
        data.setUrls(urls);
        const QPointF at(20, 20);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_list->viewport(), &enter);
        QCOMPARE(enter.isAccepted(), !expected.isEmpty());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_list->viewport(), &drop);
        QCOMPARE(m_receiver->got.size(), 0); // posted, not sent
        QCoreApplication::processEvents();
        if (expected.isEmpty()) {
            QCOMPARE(m_receiver->got.size(), 0);
            return;
        }
        QCOMPARE(m_receiver->got.size(), 1);
        QCOMPARE(m_receiver->got[0].message, PrivateMessage::FilesDropped);
        QCOMPARE(m_receiver->got[0].paths, expected);
    }
    void tooltipForHitRow() {
        m_receiver->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_receiver.get()));
        const QRect second = m_list->visualRect(m_list->ListModel()->index(1, 2));
        QRect tool;
        QCOMPARE(m_list->ToolTipTextAt(second.center(), &tool), QStringLiteral("a.jpg"));
        QVERIFY(tool.contains(second));
        QVERIFY(tool.contains(m_list->visualRect(m_list->ListModel()->index(1, 0))));
        QCOMPARE(m_list->ToolTipTextAt(QPoint(5, m_list->viewport()->height() - 2)), QString()); // below the rows
        QCOMPARE(m_list->ToolTipTextAt(QPoint(-5, 5)), QString());
        m_store->ClearFiles();
        m_list->RefreshRows();
        QCOMPARE(m_list->ToolTipTextAt(second.center()), QString());
    }

private:
    std::unique_ptr<SessionStore> m_store;
    std::unique_ptr<Receiver> m_receiver;
    CThemeListCtrl* m_list = nullptr;
};

QTEST_MAIN(TestThemeList)
#include "tst_theme_list.moc"
