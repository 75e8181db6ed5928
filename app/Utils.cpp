#include "app/Utils.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int OsVersionCodeFor(int major, int minor) {
    if (major >= 7)
        return 9;
    if (major == 6)
        return minor == 0 ? 9 : 0;
    if (major == 5) {
        switch (minor) {
        case 0:
            return 6;
        case 1:
            return 7;
        case 2:
            return 8;
        default:
            return 0;
        }
    }
    if (major == 4) {
        switch (minor) {
        case 0:
            return 3;
        case 10:
            return 4;
        case 90:
            return 5;
        default:
            return 0;
        }
    }
    return 0;
}

int GetOsVersionCode() {
    // Linux takes the settings root and the message filter path of the newest systems.
    return 9;
}

QString FormatSize(qint32 bytes) {
    if (bytes == 0)
        return QStringLiteral("0MB");
    if (bytes < 1024)
        return QStringLiteral("1KB");
    char buf[64];
    if (bytes <= 1048576) {
        const double x = bytes / 1024.0;
        const double t = std::floor(x * 10.0 + 0.5) / 10.0;
        std::snprintf(buf, sizeof buf, "%.0fKB", std::ceil(t));
        return QString::fromLatin1(buf);
    }
    const double x = bytes / 1048576.0;
    const double t = std::floor(x * 10.0 + 0.5) / 10.0;
    if (t == std::floor(t))
        std::snprintf(buf, sizeof buf, "%.0fMB", t);
    else
        std::snprintf(buf, sizeof buf, "%.1fMB", t);
    return QString::fromLatin1(buf);
}

QString FormatKbyte(qint64 bytes) {
    return QString::number(bytes / 1024) + QStringLiteral(" Kbyte");
}

QRect ClampRectToWorkArea(const QRect& rect, const QRect& workArea) {
    // Right and bottom are exclusive here, as in the work-area arithmetic this mirrors.
    const int workRight = workArea.x() + workArea.width();
    const int workBottom = workArea.y() + workArea.height();
    const int left = std::max(workArea.x(), std::min(workRight - rect.width(), rect.x()));
    const int top = std::max(workArea.y(), std::min(workBottom - rect.height(), rect.y()));
    return QRect(left, top, rect.width(), rect.height());
}

QRect ClampRectToMonitor(const QRect& rect) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return rect;
    // Nearest screen: the one sharing the largest area, else the one closest to the rectangle's centre.
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* s : screens) {
        const QRect inter = s->geometry().intersected(rect);
        const qint64 area = qint64(inter.width()) * inter.height();
        if (!inter.isEmpty() && area > bestArea) {
            bestArea = area;
            best = s;
        }
    }
    if (!best) {
        qint64 bestDist = -1;
        const QPoint c = rect.center();
        for (QScreen* s : screens) {
            const QRect g = s->geometry();
            const qint64 dx = c.x() < g.left() ? g.left() - c.x() : (c.x() > g.right() ? c.x() - g.right() : 0);
            const qint64 dy = c.y() < g.top() ? g.top() - c.y() : (c.y() > g.bottom() ? c.y() - g.bottom() : 0);
            const qint64 d = dx * dx + dy * dy;
            if (bestDist < 0 || d < bestDist) {
                bestDist = d;
                best = s;
            }
        }
    }
    return ClampRectToWorkArea(rect, best->availableGeometry());
}

QStringList SplitCommandLine(const QString& text) {
    return text.split(u' ', Qt::SkipEmptyParts);
}

namespace {
QString trimBlanks(const QString& text) {
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text.at(b) == u' ')
        ++b;
    while (e > b && text.at(e - 1) == u' ')
        --e;
    return text.mid(b, e - b);
}

QString dropOneTrailingSlash(const QString& path) {
    if (path.size() > 1 && path.endsWith(u'/'))
        return path.left(path.size() - 1);
    return path;
}
} // namespace

bool IsValidFolderPath(const QString& text) {
    const QString t = trimBlanks(text);
    if (t == QLatin1String(".") || t == QLatin1String(".."))
        return false;
    if (!t.startsWith(u'/'))
        return false;
    static const char* const kForbidden[] = {"../", "./", "*", "?", "\\", "|", ">", "<", "\""};
    for (const char* f : kForbidden) {
        if (t.contains(QLatin1String(f)))
            return false;
    }
    const QStringList pieces = t.split(u'/');
    for (const QString& piece : pieces) {
        if (!piece.isEmpty() && trimBlanks(piece).isEmpty())
            return false;
    }
    return true;
}

bool IsDirectory(const QString& path) {
    const QString p = dropOneTrailingSlash(path);
    if (p.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(p);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    // Any further attribute makes it no folder: read-only (owner bit or no access) or hidden.
    if (!(st.st_mode & S_IWUSR) || ::access(native.constData(), W_OK) != 0)
        return false;
    const QString name = QFileInfo(p).fileName();
    if (name.startsWith(u'.'))
        return false;
    return true;
}

bool PathExists(const QString& path) {
    const QString p = dropOneTrailingSlash(path);
    if (p.isEmpty())
        return false;
    return QFileInfo::exists(p);
}

int OpenRegularFileForReading(const QString& path) {
    if (path.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    // Reads of a regular file never block anyway; the flag only kept the open itself from waiting.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

quint64 GetFileSize64(const QString& path) {
    const int fd = OpenRegularFileForReading(path);
    if (fd < 0)
        return kUnknownFileSize;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0;
    ::close(fd);
    return ok ? static_cast<quint64>(st.st_size) : kUnknownFileSize;
}

QString GetModuleFolder() {
    QString dir;
    if (QCoreApplication::instance()) {
        dir = QCoreApplication::applicationDirPath();
    } else {
        char buf[4096];
        const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0)
            dir = QFileInfo(QFile::decodeName(QByteArray(buf, n))).absolutePath();
    }
    return WithTrailingSlash(dir);
}

QString WithTrailingSlash(const QString& path) {
    if (path.isEmpty() || path.endsWith(u'/'))
        return path;
    return path + u'/';
}

bool PumpMessages(const std::function<bool()>& closeSeen) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return closeSeen && closeSeen();
}
