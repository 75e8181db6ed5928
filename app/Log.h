#pragma once
// Logging categories and the log file. Warnings of every category are on; the rest are switched on
// through QT_LOGGING_RULES, e.g. QT_LOGGING_RULES="quorvane.*.info=true".
// Lines are built from explicit fields only: never a header block, a request body, the session key,
// the auth digest or the launch token.
#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

#include <cstdio>
#include <mutex>

Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcService)
Q_DECLARE_LOGGING_CATEGORY(lcTransfer)
Q_DECLARE_LOGGING_CATEGORY(lcUi)

// A size-limited log file: when a line would take the file past `maxBytes` it becomes name.1, name.1
// becomes name.2 and so on; `keep` files in all (the current one included). Safe to use from any thread.
class LogFile {
public:
    static constexpr qint64 kDefaultMaxBytes = 1024 * 1024;
    static constexpr int kDefaultKeep = 3;

    explicit LogFile(QString path, qint64 maxBytes = kDefaultMaxBytes, int keep = kDefaultKeep);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Creates the folder when missing and opens the file for appending; false when it cannot.
    bool open();
    bool isOpen() const;
    // Appends one line (a line feed is added). False when the file is not open or the write failed.
    bool write(const QByteArray& line);
    QString path() const { return m_path; }

private:
    bool rotateLocked();
    bool openLocked();

    QString m_path;
    QByteArray m_encoded;
    qint64 m_maxBytes;
    int m_keep;
    mutable std::mutex m_mutex;
    std::FILE* m_file = nullptr;
    qint64 m_size = 0;
};

namespace Log {

// $XDG_STATE_HOME/quorvane/quorvane.log, with ~/.local/state when XDG_STATE_HOME is unset or relative.
QString DefaultFilePath();

// One line as the file holds it: ISO time (UTC), level, category, text; line breaks in the text are
// replaced, so a message is always one line.
QByteArray FormatLine(QtMsgType type, const char* category, const QString& text);

// Installs the process's message handler: every message goes on to the handler that was there before
// (Qt's, which writes to stderr) and to the log file at `path` (empty = DefaultFilePath()). A file
// that cannot be opened costs only the file. True when the file is in use.
bool Install(const QString& path = QString());
// Restores the previous handler and closes the file (tests; the program keeps it to the end).
void Uninstall();
// The file in use, empty when none.
QString CurrentFilePath();

} // namespace Log
