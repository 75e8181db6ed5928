#pragma once
// Shared routines used by several windows and workers.
#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

// 9 on Linux; the table of major/minor numbers is kept for other builds and tested.
int GetOsVersionCode();
int OsVersionCodeFor(int major, int minor); // 0 = unknown

QString FormatSize(qint32 bytes);  // "0MB", "1KB", "1.5MB" ...
QString FormatKbyte(qint64 bytes); // "%d Kbyte", 64-bit: files of 2 GiB and more

// Moves `rect` fully into `workArea` (left/top win over right/bottom); size unchanged.
QRect ClampRectToWorkArea(const QRect& rect, const QRect& workArea);
// The same with the work area of the screen nearest to `rect` (needs a QGuiApplication).
QRect ClampRectToMonitor(const QRect& rect);

QStringList SplitCommandLine(const QString& text); // blanks only, runs count once, no quoting
bool IsValidFolderPath(const QString& text);
bool IsDirectory(const QString& path); // a writable, non-hidden folder
bool PathExists(const QString& path);
// 0x00000000FFFFFFFF when it cannot be opened or is no regular file (a FIFO, a device, a folder).
quint64 GetFileSize64(const QString& path);
// Opens a regular file for reading without ever blocking (a FIFO would block an ordinary open); the
// descriptor, or -1 with errno set (EINVAL for anything but a regular file).
int OpenRegularFileForReading(const QString& path);
constexpr quint64 kUnknownFileSize = 0x00000000FFFFFFFFull;
QString GetModuleFolder(); // the executable's folder, ending in "/"
// The folder form of a path: "/" appended when it does not end in one (an empty text stays empty).
QString WithTrailingSlash(const QString& path);

// Dispatches every queued event of the calling thread; true when a close request was among them.
// `closeSeen` is how the caller's window reports a close it received while pumping.
bool PumpMessages(const std::function<bool()>& closeSeen = {});

QByteArray Md5Hex(const QByteArray& bytes); // 32 lowercase hex digits (input up to its first NUL)
