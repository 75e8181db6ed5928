#pragma once
// Tells the desktop about one transfer batch: its progress on the task bar entry while it runs, and,
// when it ends while the main window is away (minimized, hidden or not active), what was done or what
// failed, in a notification.
#include <QString>

class DesktopNotifier;
class QWidget;

class BatchAnnouncer {
public:
    BatchAnnouncer(DesktopNotifier* notifier, bool upload) : m_notifier(notifier), m_upload(upload) {}
    ~BatchAnnouncer();
    BatchAnnouncer(const BatchAnnouncer&) = delete;
    BatchAnnouncer& operator=(const BatchAnnouncer&) = delete;

    void SetNotifier(DesktopNotifier* notifier) { m_notifier = notifier; }
    void FileStarted(int ordinal, int count);
    void Progress(qint64 done, qint64 total);
    void Failed(const QString& text);
    // The batch is over; `mainWindow` is the window whose absence calls for a notification.
    void Ended(bool cancelled, const QWidget* mainWindow);

    // Whether the user is away from `mainWindow`: it is hidden or minimized, or neither it nor a window of
    // its own (a dialog over it) is the active window.
    static bool Away(const QWidget* mainWindow);

private:
    DesktopNotifier* m_notifier;
    const bool m_upload;
    int m_ordinal = 0; // the file moving now, from 1; 0 before the first
    int m_count = 0;
    bool m_fileOpen = false;
    int m_moved = 0;
    QString m_failure;
    bool m_ended = false;
};
