// The windows with large lists, on the offscreen platform:
//  - start-up to the first list shown, 10,000 stored files: the main window from its creation until the list
//    model holds every row, beside the same calls through the service layer alone;
//  - a sort of 100,000 rows by a header click on the file list window (sort, model reset, first page painted),
//    beside SessionStore::SortFiles alone.
// Medians of a few runs; the service is the local one, in-process, on the loopback address.
#include "app/SessionStore.h"
#include "service/FileService.h"
#include "tests/ui/ScriptedMessages.h"
#include "tools/cloffa-service/LocalService.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/windows/CFilelistDlg.h"
#include "ui/windows/CQuorvaneDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr char kUser[] = "bench";
constexpr char kKey[] = "bench-session-key";

double Ms(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs the event loop until `done` holds, checking every millisecond; false after `limitMs`.
bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > limitMs)
            loop.quit();
    });
    check.start(1);
    loop.exec();
    return done();
}

// A store of `count` listed files written as the service's own index (content generated on demand), so that
// 10,000 entries do not cost 10,000 synced index rewrites through addFile.
bool WriteStore(const QString& dir, int count) {
    std::ofstream index(QString(dir + QStringLiteral("/index.txt")).toStdString(), std::ios::binary);
    index << "next\t" << count + 1 << '\n';
    for (int i = 1; i <= count; ++i)
        index << i << "\t1\t" << 1000 + i << '\t' << 1000 + i << "\t1\t2008-05-21 오후 3:04:05\t문서_" << i
              << ".txt\n";
    return bool(index);
}

std::unique_ptr<SessionStore> NewStore() {
    auto store = std::make_unique<SessionStore>(SessionStore::Settings::None);
    store->SetLaunchUserId(QString::fromLatin1(kUser));
    store->SetSessionKey(QString::fromLatin1(kKey));
    return store;
}

std::vector<FileRow> Rows(int count) {
    QRandomGenerator random(42);
    const char* extensions[] = {"txt", "jpg", "mp3", "zip", "doc", "avi", "pdf", "xls"};
    std::vector<FileRow> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("파일_%1_%2.%3")
                                 .arg(random.bounded(1000000))
                                 .arg(i)
                                 .arg(QLatin1String(extensions[i % 8]));
        const QString date = QStringLiteral("%1-%2-%3")
                                 .arg(random.bounded(100), 2, 10, QLatin1Char('0'))
                                 .arg(1 + random.bounded(12), 2, 10, QLatin1Char('0'))
                                 .arg(1 + random.bounded(28), 2, 10, QLatin1Char('0'));
        rows.push_back({0, i + 1, name, qint32(random.bounded(200000000)), date});
    }
    return rows;
}

// The offscreen platform's notes about masks and raising would drown the figures.
void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && !text.startsWith(QLatin1String("This plugin does not support")))
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietHandler);
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    constexpr int kStored = 10000;
    constexpr int kSorted = 100000;

    QTemporaryDir dir;
    if (!dir.isValid() || !WriteStore(dir.path(), kStored)) {
        std::fprintf(stderr, "cannot write the store\n");
        return 1;
    }
    cloffa::ServiceOptions options;
    options.storeDir = dir.path().toStdString();
    options.userId = kUser;
    options.sessionKey = kKey;
    options.quotaTotal = 2000000000;
    cloffa::LocalService service(options);
    std::string error;
    if (!service.start(&error) || service.files().size() != size_t(kStored)) {
        std::fprintf(stderr, "local service: %s (%zu files)\n", error.c_str(), service.files().size());
        return 1;
    }
    qputenv("CLOFFA_SERVICE_URL", QByteArray::fromStdString(service.baseUrl()));
    qputenv("CLOFFA_TRANSFER_URL", QByteArray::fromStdString(service.baseUrl()));
    qputenv("CLOFFA_CA_FILE", QByteArray::fromStdString(service.caFile().string()));

    std::printf("stored files                          %d, runs %d (medians)\n", kStored, runs);

    // Through the main window: creation, the 100 ms start timer, version check, list fetch, model filled.
    std::vector<double> window;
    for (int run = 0; run < runs; ++run) {
        auto store = NewStore();
        QElapsedTimer t;
        t.start();
        auto dialog = std::make_unique<CQuorvaneDlg>(*store, QPoint(30, 40));
        MessageScript messages; // a failure box would otherwise wait for a user who is not there
        new ScriptedMessages(dialog.get(), messages);
        dialog->show();
        const bool shown = WaitUntil(
            [&] {
                return dialog->StartSequenceDone() && dialog->FileList()->List()->model()->rowCount() == kStored;
            },
            60000);
        const double ms = Ms(t);
        if (!shown) {
            std::fprintf(stderr, "the main window did not show the list (%d rows)\n",
                         dialog->FileList()->List()->model()->rowCount());
            return 1;
        }
        window.push_back(ms);
        dialog.reset();
    }

    // The service layer alone: a fresh connection, the version check and the list, as the window does them.
    std::vector<double> listOnly, checkAndList;
    for (int run = 0; run < runs; ++run) {
        auto store = NewStore();
        QElapsedTimer t;
        t.start();
        FileService files;
        const BoolResult check = files.NeedUpdate(*store);
        const double checkMs = Ms(t);
        const FileListResult list = files.GetUserFiles(*store);
        const double allMs = Ms(t);
        if (check.error || list.error || list.files.size() != size_t(kStored)) {
            std::fprintf(stderr, "service layer: errors %d/%d, %zu files\n", check.error, list.error,
                         list.files.size());
            return 1;
        }
        checkAndList.push_back(allMs);
        listOnly.push_back(allMs - checkMs);
    }
    std::printf("main window to first list             %8.1f ms (of which the start timer %d ms)\n",
                Median(window), CQuorvaneDlg::kStartTimerMs);
    std::printf("service layer NeedUpdate+GetUserFiles %8.1f ms (GetUserFiles alone %.1f ms)\n",
                Median(checkAndList), Median(listOnly));

    // Sorting 100,000 rows: header clicks on the window's list, and the store's sort alone on the same rows.
    auto store = NewStore();
    auto dialog = std::make_unique<CQuorvaneDlg>(*store, QPoint(30, 40));
    dialog->show();
    if (!WaitUntil([&] { return dialog->StartSequenceDone(); }, 60000)) {
        std::fprintf(stderr, "the main window did not start\n");
        return 1;
    }
    CThemeListCtrl* list = dialog->FileList()->List();
    QHeaderView* header = list->header();
    const std::vector<FileRow> rows = Rows(kSorted);
    const char* names[] = {"name", "size", "date"};
    std::vector<double> byClick[3], byStore[3];
    for (int run = 0; run < runs; ++run) {
        for (int column = 0; column < 3; ++column) {
            store->ClearFiles();
            store->AppendFiles(rows);
            list->RefreshRows();
            QApplication::processEvents();
            // Each click is on another column than the last, so each sorts ascending.
            const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                            header->height() / 2);
            QElapsedTimer t;
            t.start();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
            QApplication::processEvents(); // the posted list change: model reset
            list->viewport()->repaint();
            byClick[column].push_back(Ms(t));
            if (list->LastSortedColumn() != column || !list->Ascending()) {
                std::fprintf(stderr, "the header click did not sort column %d\n", column);
                return 1;
            }

            store->ClearFiles();
            store->AppendFiles(rows);
            t.restart();
            store->SortFiles(column, true);
            byStore[column].push_back(Ms(t));
        }
    }
    std::printf("sorted rows                           %d\n", kSorted);
    for (int column = 0; column < 3; ++column)
        std::printf("sort by %-4s header click             %8.1f ms (SortFiles alone %.1f ms)\n", names[column],
                    Median(byClick[column]), Median(byStore[column]));
    dialog.reset();
    return 0;
}
