// The drag-out marker watch over a large home (16 x 16 x 16 folders, beyond the cap): the time to list and
// watch it on the worker, the longest pause of the window's event loop meanwhile, and the time from the
// marker's copy into a deep folder until it is found. Medians of a few runs.
#include "ui/windows/DropTargetFinder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    for (int p = 0; p < 16; ++p)
        for (int q = 0; q < 16; ++q)
            for (int r = 0; r < 16; ++r)
                QDir(home.path()).mkpath(QStringLiteral("Documents/p%1/q%2/r%3").arg(p).arg(q).arg(r));
    const QString deep = home.filePath(QStringLiteral("Documents/p3/q4"));
    const QString source = home.filePath(QStringLiteral(".source"));
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write("bench drag-out\n") <= 0)
            return 1;
    }
    std::vector<double> listing, pause, found;
    for (int run = 0; run < 5; ++run) {
        DropTargetFinder finder({home.filePath(QStringLiteral("Documents")), home.path()},
                                QStringLiteral("marker.tmp"));
        QFile::copy(source, home.filePath(QStringLiteral("source.tmp")));
        QElapsedTimer clock, tick;
        double longest = 0;
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, &app, [&] {
            longest = std::max(longest, tick.nsecsElapsed() / 1e6);
            tick.restart();
        });
        QObject::connect(&finder, &DropTargetFinder::scanned, &app, [&] { QCoreApplication::exit(0); });
        beat.start(1);
        tick.start();
        clock.start();
        finder.Arm(home.filePath(QStringLiteral("source.tmp")));
        app.exec();
        listing.push_back(clock.nsecsElapsed() / 1e6);
        pause.push_back(longest);
        const auto watched = finder.WatchedFolders().size();
        QObject::connect(&finder, &DropTargetFinder::found, &app, [&] { QCoreApplication::exit(0); });
        finder.Finish(10000);
        clock.restart();
        QFile::copy(home.filePath(QStringLiteral("source.tmp")),
                    QDir(deep).filePath(QStringLiteral("marker.tmp")));
        app.exec();
        found.push_back(clock.nsecsElapsed() / 1e6);
        std::printf("run %d: watched %lld folders\n", run, static_cast<long long>(watched));
    }
    std::printf("list and watch the home (cap %d)      %8.1f ms\n", DropTargetFinder::kMaxFolders,
                Median(listing));
    std::printf("longest event-loop pause meanwhile    %8.1f ms\n", Median(pause));
    std::printf("copy into a sub-folder until found    %8.1f ms\n", Median(found));
    return 0;
}
