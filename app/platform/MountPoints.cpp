#include "app/platform/MountPoints.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

// The table writes space, tab, newline and backslash in a mount point as \ooo.
QString Unescape(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3') {
            bool ok = false;
            const int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QString::fromUtf8(out);
}

bool SystemPath(const QString& path) {
    if (path == u"/")
        return true;
    if (path == u"/run/media" || path.startsWith(u"/run/media/"))
        return false;
    for (const char* prefix :
         {"/proc", "/sys", "/dev", "/run", "/boot", "/efi", "/usr", "/var", "/etc", "/snap"}) {
        const QString p = QString::fromLatin1(prefix);
        if (path == p || path.startsWith(p + u'/'))
            return true;
    }
    return false;
}

bool PseudoFileSystem(const QByteArray& type) {
    static const QSet<QByteArray> pseudo = {
        "proc", "sysfs",    "devtmpfs", "devpts",      "cgroup",     "cgroup2",  "securityfs", "pstore",
        "bpf",  "debugfs",  "tracefs",  "configfs",    "fusectl",    "mqueue",   "hugetlbfs",  "autofs",
        "nsfs", "efivarfs", "ramfs",    "binfmt_misc", "rpc_pipefs", "squashfs", "iso9660",    "overlay"};
    return pseudo.contains(type);
}

} // namespace

QStringList WritableMountPoints(const QString& mountInfo) {
    QStringList points;
    const QStringList lines = mountInfo.split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        // id parent major:minor root mount-point options [optional fields] - type source super-options
        const QList<QByteArray> fields = line.toUtf8().split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 6 || dash < 6 || dash + 1 >= fields.size())
            continue;
        const QString point = Unescape(fields[4]);
        const QList<QByteArray> options = fields[5].split(',');
        if (options.contains("ro") || PseudoFileSystem(fields[dash + 1]) || SystemPath(point) ||
            points.contains(point))
            continue;
        const QFileInfo info(point);
        if (info.isDir() && info.isWritable())
            points << point;
    }
    return points;
}

QStringList WritableMountPoints() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return WritableMountPoints(QString::fromUtf8(file.readAll()));
}
