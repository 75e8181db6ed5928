#pragma once
// What a transfer worker tells the one who watches it (the transfer dialog, or a test).
// Every call comes from the worker thread.
#include <QString>
#include <QtGlobal>

#include <optional>

enum class ReplaceAnswer { Replace, ReplaceAll, Skip, Cancel };

class TransferReporter {
public:
    virtual ~TransferReporter() = default;
    // The batch has its connection set up and its first file comes next: the watcher comes to the front.
    virtual void batchStarted() {}
    // A file is about to be moved; fire and forget.
    virtual void fileStarted(const QString& name, int ordinal, int count) = 0;
    // The latest byte counts; coalesced by the worker, the final value of a file always comes.
    virtual void progress(qint64 done, qint64 total) = 0;
    // An answer now, or nullopt and a later TransferJob::answerReplace() from any thread; the worker
    // waits on its run event until the answer is stored.
    virtual std::optional<ReplaceAnswer> askReplace(int count, const QString& text) = 0;
    virtual void error(const QString& text, int number) = 0;
    virtual void notice(const QString& text) = 0;
};
