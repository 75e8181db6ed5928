#pragma once
// The user's file manager on the session bus (org.freedesktop.FileManager1): shows files selected in
// their folder. The request never waits on the caller's thread: a file manager the bus has to start
// first may take seconds, and the window asking keeps answering meanwhile.
#include <QStringList>

#include <chrono>
#include <functional>

inline constexpr char kFileManagerService[] = "org.freedesktop.FileManager1";
inline constexpr char kFileManagerPath[] = "/org/freedesktop/FileManager1";
inline constexpr char kFileManagerInterface[] = "org.freedesktop.FileManager1";

class FileManager {
public:
    enum class Outcome {
        Shown,      // the file manager accepted the request
        Failed,     // no file manager, or it refused or went away: the caller opens the folder itself
        Unanswered, // reached, but no answer in time: it may still show them, so nothing else is opened
    };

    // The bus starts a file manager on demand within this time; a slower answer counts as Unanswered.
    explicit FileManager(std::chrono::milliseconds timeout = std::chrono::seconds(25));

    // Asks for the folder of `paths` shown in one window, with the first of them selected. `done` runs
    // exactly once, later, from this thread's event loop; it outlives whatever asked, so it should hold
    // only values.
    void ShowItems(const QStringList& paths, std::function<void(Outcome)> done) const;

private:
    std::chrono::milliseconds m_timeout;
};
