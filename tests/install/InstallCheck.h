#pragma once
// Helpers shared by the install and package tests: running tools, reading PNG headers and ELF dynamic
// sections, listing what an install put down.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSize>
#include <QStringList>

namespace InstallCheck {

// Programs that only tests and demos use; none of them may reach the user's install.
inline const QStringList kStandins{QStringLiteral("tavirun"), QStringLiteral("cloffa-service"),
                                   QStringLiteral("ui-gallery"), QStringLiteral("skin-art-generator"),
                                   QStringLiteral("quorvane-standins")};

inline const QString kAppId = QStringLiteral("org.brellow.Quorvane");
inline const QList<int> kIconSizes{16, 32, 48, 64, 128, 256};

struct Run {
    int exitCode = -1; // -1: did not start or timed out, -2: crashed
    QByteArray out;
    QByteArray err;
};

inline Run RunTool(const QString& program, const QStringList& args,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                   int timeoutMs = 60000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = "timed out";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline QString Describe(const Run& r) {
    return QStringLiteral("exit %1\n%2\n%3")
        .arg(r.exitCode)
        .arg(QString::fromUtf8(r.out), QString::fromUtf8(r.err));
}

struct PngHeader {
    QSize size;
    int colourType = -1; // 6: RGB with alpha
};

// The first chunk of a PNG file must be IHDR: width, height, bit depth, colour type.
inline PngHeader ReadPngHeader(const QString& path) {
    QFile f(path);
    PngHeader h;
    if (!f.open(QIODevice::ReadOnly))
        return h;
    const QByteArray b = f.read(26);
    if (b.size() < 26 || !b.startsWith("\x89PNG\r\n\x1a\n") || b.mid(12, 4) != "IHDR")
        return h;
    const auto be32 = [&b](int at) {
        return (quint32(quint8(b[at])) << 24) | (quint32(quint8(b[at + 1])) << 16) |
               (quint32(quint8(b[at + 2])) << 8) | quint32(quint8(b[at + 3]));
    };
    h.size = QSize(int(be32(16)), int(be32(20)));
    h.colourType = quint8(b[25]);
    return h;
}

// Every file and symbolic link under root, as paths relative to it, sorted.
inline QStringList ListTree(const QString& root) {
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

// RPATH and RUNPATH entries of an ELF file; an installed program must carry none into the build tree.
inline QStringList RunPaths(const QString& binary) {
    const Run r = RunTool(QStringLiteral("readelf"), {QStringLiteral("-d"), binary});
    QStringList paths;
    for (const QByteArray& line : r.out.split('\n')) {
        if (line.contains("(RPATH)") || line.contains("(RUNPATH)"))
            paths << QString::fromUtf8(line.trimmed());
    }
    if (r.exitCode != 0)
        paths << QStringLiteral("readelf failed: ") + Describe(r);
    return paths;
}

// "Key=value" lines of the [Desktop Entry] group, localised keys included.
inline QMap<QString, QString> ReadDesktopEntry(const QString& path,
                                               const QString& group = QStringLiteral("Desktop Entry")) {
    QMap<QString, QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    bool inGroup = false;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            inGroup = line == u'[' + group + u']';
        else if (inGroup && line.contains(u'=') && !line.startsWith(u'#'))
            keys.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    }
    return keys;
}

} // namespace InstallCheck
