// The owner-data file list with 100,000 rows: model reset, sorting through the store, scrolling the view.
#include "app/SessionStore.h"
#include "res/DialogFont.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/controls/FileListModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScrollBar>

#include <cstdio>

namespace {
double Ms(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    SessionStore store(SessionStore::Settings::None);

    QRandomGenerator random(42);
    const char* extensions[] = {"txt", "jpg", "mp3", "zip", "doc", "avi", "pdf", "xls"};
    std::vector<FileRow> files;
    files.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        const QString name = QStringLiteral("파일_%1_%2.%3")
                                 .arg(random.bounded(1000000))
                                 .arg(i)
                                 .arg(QLatin1String(extensions[i % 8]));
        const QString date = QStringLiteral("%1-%2-%3")
                                 .arg(random.bounded(100), 2, 10, QLatin1Char('0'))
                                 .arg(1 + random.bounded(12), 2, 10, QLatin1Char('0'))
                                 .arg(1 + random.bounded(28), 2, 10, QLatin1Char('0'));
        files.push_back({0, i, name, qint32(random.bounded(200000000)), date});
    }
    QElapsedTimer t;
    t.start();
    store.AppendFiles(files);
    std::printf("rows                         %d\n", rows);
    std::printf("append to store              %8.2f ms\n", Ms(t));

    CThemeListCtrl list(store, nullptr);
    list.setFont(DialogFont());
    list.resize(247, 132);
    list.setAttribute(Qt::WA_DontShowOnScreen);
    list.show();
    QApplication::processEvents();

    t.restart();
    list.RefreshRows();
    QApplication::processEvents();
    std::printf("model reset + first paint    %8.2f ms\n", Ms(t));

    const char* names[] = {"name", "size", "date"};
    for (int column = 0; column < 3; ++column) {
        for (bool ascending : {true, false}) {
            t.restart();
            store.SortFiles(column, ascending);
            const double sortMs = Ms(t);
            list.RefreshRows();
            list.viewport()->repaint();
            std::printf("sort %-4s %-4s              %8.2f ms (store %.2f ms)\n", names[column],
                        ascending ? "asc" : "desc", Ms(t), sortMs);
        }
    }

    // Page by page over the first 500 pages, then 200 jumps spread over the whole range.
    QScrollBar* bar = list.verticalScrollBar();
    const int pageStep = qMax(1, bar->pageStep());
    int pages = 0;
    t.restart();
    for (int value = 0; value <= bar->maximum() && pages < 500; value += pageStep, ++pages) {
        bar->setValue(value);
        list.viewport()->repaint();
    }
    const double pageMs = Ms(t);
    std::printf("scroll page by page          %8.2f ms (%d pages, %.3f ms per page)\n", pageMs, pages,
                pages ? pageMs / pages : 0.0);
    t.restart();
    for (int jump = 0; jump <= 200; ++jump) {
        bar->setValue(int(qint64(bar->maximum()) * jump / 200));
        list.viewport()->repaint();
    }
    std::printf("scroll through whole list    %8.2f ms (201 positions, %.3f ms each)\n", Ms(t), Ms(t) / 201);

    t.restart();
    const int samples = 20000;
    for (int i = 0; i < samples; ++i)
        (void)list.ListModel()->data(list.ListModel()->index((i * 7919) % rows, i % 3), Qt::DisplayRole);
    std::printf("random cell reads            %8.3f us per cell\n", Ms(t) * 1000.0 / samples);
    return 0;
}
