#include "app/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <atomic>
#include <filesystem>
#include <memory>
#include <utility>

Q_LOGGING_CATEGORY(lcApp, "quorvane.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcService, "quorvane.service", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTransfer, "quorvane.transfer", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "quorvane.ui", QtWarningMsg)

namespace fs = std::filesystem;

namespace {

// One message never grows the file by more than this.
constexpr qsizetype kMaxLineBytes = 8 * 1024;

fs::path FsPath(const QByteArray& encoded) {
    return fs::path(encoded.toStdString());
}

QByteArray Numbered(const QByteArray& base, int n) {
    return n == 0 ? base : base + '.' + QByteArray::number(n);
}

} // namespace

LogFile::LogFile(QString path, qint64 maxBytes, int keep)
    : m_path(std::move(path)), m_encoded(QFile::encodeName(m_path)), m_maxBytes(qMax<qint64>(maxBytes, 256)),
      m_keep(qMax(keep, 1)) {}

LogFile::~LogFile() {
    const std::lock_guard lock(m_mutex);
    if (m_file)
        std::fclose(m_file);
}

bool LogFile::open() {
    const std::lock_guard lock(m_mutex);
    if (m_file)
        return true;
    std::error_code ec;
    const fs::path folder = FsPath(m_encoded).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        if (!fs::create_directories(folder, ec))
            return false;
        // What was transferred and when is nobody else's business.
        fs::permissions(folder, fs::perms::owner_all, ec);
    }
    return openLocked();
}

bool LogFile::openLocked() {
    m_file = std::fopen(m_encoded.constData(), "ae");
    if (!m_file)
        return false;
    std::error_code ec;
    const auto size = fs::file_size(FsPath(m_encoded), ec);
    m_size = ec ? 0 : qint64(size);
    return true;
}

bool LogFile::isOpen() const {
    const std::lock_guard lock(m_mutex);
    return m_file != nullptr;
}

bool LogFile::rotateLocked() {
    std::fclose(m_file);
    m_file = nullptr;
    std::error_code ec;
    if (m_keep == 1) {
        fs::remove(FsPath(m_encoded), ec);
    } else {
        // The oldest is overwritten by the one before it, and so on down to the current file.
        for (int i = m_keep - 1; i >= 1; --i)
            fs::rename(FsPath(Numbered(m_encoded, i - 1)), FsPath(Numbered(m_encoded, i)), ec);
    }
    return openLocked();
}

bool LogFile::write(const QByteArray& text) {
    QByteArray line = text.left(qMin<qint64>(kMaxLineBytes, m_maxBytes - 1));
    line += '\n';
    const std::lock_guard lock(m_mutex);
    if (!m_file)
        return false;
    if (m_size > 0 && m_size + line.size() > m_maxBytes && !rotateLocked())
        return false;
    // One write per line, so lines of other processes appending to the same file never interleave.
    const bool ok = std::fwrite(line.constData(), 1, size_t(line.size()), m_file) == size_t(line.size()) &&
                    std::fflush(m_file) == 0;
    m_size += line.size();
    return ok;
}

namespace Log {

namespace {

std::mutex g_mutex; // the handler state below
QtMessageHandler g_previous = nullptr;
std::atomic<QtMessageHandler> g_previousForNested{nullptr}; // readable without the lock
LogFile* g_file = nullptr;
bool g_installed = false;
thread_local bool t_inHandler = false;

const char* LevelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "unknown";
}

void Handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    QtMessageHandler previous = nullptr;
    // A message raised while this thread writes one goes to stderr only (and never waits on our lock).
    if (t_inHandler) {
        previous = g_previousForNested.load();
    } else {
        t_inHandler = true;
        const std::lock_guard lock(g_mutex);
        previous = g_previous;
        if (g_file)
            g_file->write(FormatLine(type, context.category, text));
        t_inHandler = false;
    }
    if (previous) {
        previous(type, context, text);
    } else {
        std::fputs(FormatLine(type, context.category, text).append('\n').constData(), stderr);
        std::fflush(stderr);
    }
}

} // namespace

QString DefaultFilePath() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericStateLocation);
#else
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
#endif
    return QDir::cleanPath(base) + QStringLiteral("/quorvane/quorvane.log");
}

QByteArray FormatLine(QtMsgType type, const char* category, const QString& text) {
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            continue;
        if (c == u'\n' || c == u'\r')
            clean += QStringLiteral("\\n");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            clean += u' ';
        else
            clean += c;
    }
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + ' ' + LevelName(type) + ' ' +
           (category && *category ? category : "default") + ": " + clean.toUtf8();
}

bool Install(const QString& path) {
    auto file = std::make_unique<LogFile>(path.isEmpty() ? DefaultFilePath() : path);
    const bool opened = file->open();
    const std::lock_guard lock(g_mutex);
    delete g_file;
    g_file = opened ? file.release() : nullptr;
    if (!g_installed) {
        g_installed = true;
        g_previous = qInstallMessageHandler(&Handler);
        g_previousForNested = g_previous;
    }
    return opened;
}

void Uninstall() {
    const std::lock_guard lock(g_mutex);
    if (g_installed) {
        qInstallMessageHandler(g_previous);
        g_installed = false;
        g_previous = nullptr;
        g_previousForNested = nullptr;
    }
    delete g_file;
    g_file = nullptr;
}

QString CurrentFilePath() {
    const std::lock_guard lock(g_mutex);
    return g_file ? g_file->path() : QString();
}

} // namespace Log
