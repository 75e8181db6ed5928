#pragma once
// The desktop around the program's windows: notifications (org.freedesktop.Notifications) and the
// progress on the task bar entry (com.canonical.Unity.LauncherEntry, read by KDE's task manager and by
// GNOME's docks). Handed to the windows by their creator; tests hand in one of their own.
#include <QObject>
#include <QString>

#include <chrono>
#include <map>

inline constexpr char kNotificationsService[] = "org.freedesktop.Notifications";
inline constexpr char kNotificationsPath[] = "/org/freedesktop/Notifications";
inline constexpr char kLauncherEntryInterface[] = "com.canonical.Unity.LauncherEntry";
inline constexpr char kLauncherEntryPath[] = "/org/brellow/Quorvane/LauncherEntry";

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // A notification with the program's name and icon; returns at once.
    virtual void Notify(const QString& summary, const QString& body) = 0;
    // The state of one running batch (`batch` names it): `filesDone` of `files` moved, the current one
    // `current` (0..1) of the way. Every running batch adds to the one progress the task bar shows.
    virtual void BatchProgress(const void* batch, int filesDone, int files, double current) = 0;
    // The batch is over; with no batch left the task bar entry shows no progress.
    virtual void BatchEnded(const void* batch) = 0;
};

// The real one, on the session bus. `desktopFile` names the desktop entry ("org.brellow.Quorvane"),
// which is also the icon's name.
class SessionBusNotifier : public QObject, public DesktopNotifier {
    Q_OBJECT
public:
    explicit SessionBusNotifier(const QString& desktopFile, QObject* parent = nullptr);
    ~SessionBusNotifier() override;

    void Notify(const QString& summary, const QString& body) override;
    void BatchProgress(const void* batch, int filesDone, int files, double current) override;
    void BatchEnded(const void* batch) override;

    // For a copy without a window that ends right after: waits for the notification service's answer.
    // True when it took the notification.
    static bool NotifyAndWait(const QString& desktopFile, const QString& summary, const QString& body,
                              std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

private:
    struct Batch {
        int filesDone = 0;
        int files = 0;
        double current = 0;
    };
    void SendUpdate();

    QString m_desktopFile;
    std::map<const void*, Batch> m_batches;
    int m_sentPermille = -1; // what the task bar was last told, to send changes only
    qint64 m_sentLeft = -1;
};
