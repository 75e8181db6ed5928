#pragma once
// A reporter that records every call and answers replace questions from a script.
#include "transfer/TransferJob.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <mutex>

struct ScriptedReporter : TransferReporter {
    struct Started {
        QString name;
        int ordinal;
        int count;
    };
    std::mutex lock;
    std::vector<Started> started;
    std::vector<std::pair<qint64, qint64>> progressCalls;
    std::vector<std::pair<int, QString>> questions;
    std::vector<std::pair<QString, int>> errors;
    QStringList notices;
    std::deque<std::optional<ReplaceAnswer>> answers;
    std::function<void(qint64, qint64)> onProgress;
    std::function<void()> onAskLater; // runs when the script answers "later"

    void fileStarted(const QString& name, int ordinal, int count) override {
        std::lock_guard l(lock);
        started.push_back({name, ordinal, count});
    }
    void progress(qint64 done, qint64 total) override {
        {
            std::lock_guard l(lock);
            progressCalls.emplace_back(done, total);
        }
        if (onProgress)
            onProgress(done, total);
    }
    std::optional<ReplaceAnswer> askReplace(int count, const QString& text) override {
        std::optional<ReplaceAnswer> a = ReplaceAnswer::Skip;
        {
            std::lock_guard l(lock);
            questions.emplace_back(count, text);
            if (!answers.empty()) {
                a = answers.front();
                answers.pop_front();
            }
        }
        if (!a && onAskLater)
            onAskLater();
        return a;
    }
    void error(const QString& text, int number) override {
        std::lock_guard l(lock);
        errors.emplace_back(text, number);
    }
    void notice(const QString& text) override {
        std::lock_guard l(lock);
        notices << text;
    }
};
