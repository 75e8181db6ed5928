#pragma once
// The user's file manager on the session bus (org.freedesktop.FileManager1): shows files selected in
// their folder. Desktops without one answer false, and the caller opens the folder instead.
#include <QStringList>

#include <chrono>

inline constexpr char kFileManagerService[] = "org.freedesktop.FileManager1";
inline constexpr char kFileManagerPath[] = "/org/freedesktop/FileManager1";
inline constexpr char kFileManagerInterface[] = "org.freedesktop.FileManager1";

class FileManager {
public:
    explicit FileManager(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

    // True when the bus has (or can start) a file manager and it accepted the request.
    bool ShowItems(const QStringList& paths) const;

private:
    std::chrono::milliseconds m_timeout;
};
