#pragma once
// One running copy per session: it owns the bus name and answers Activate(), Logout() and
// UploadFiles() on /QuorvaneClass, for a second copy, for the toolbar and for file managers.
#include <QObject>
#include <QStringList>

#include <chrono>
#include <functional>

inline constexpr char kQuorvaneService[] = "org.brellow.Quorvane";
inline constexpr char kQuorvanePath[] = "/QuorvaneClass";
inline constexpr char kQuorvaneInterface[] = "org.brellow.Quorvane.MainWindow";

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.brellow.Quorvane.MainWindow")

public:
    // What became of files sent to the running copy.
    enum class SendResult { Taken, NoCopy, Refused };
    // Takes files sent from a file manager: true when they will be uploaded.
    using FilesHandler = std::function<bool(const QStringList& paths)>;

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this copy now owns the name; false when another copy runs (or the bus is unusable).
    bool Acquire();
    bool IsOwner() const { return m_owner; }
    // Offers Activate() and Logout() from now on: the main window is about to exist. Before that, a
    // second copy's call fails at once instead of waiting for a copy that is still starting.
    bool PublishWindow();
    // Without a handler sent files are refused.
    void SetFilesHandler(FilesHandler handler) { m_filesHandler = std::move(handler); }

    // Asks the running copy to come to the front; false when none answered.
    static bool ActivateRunning(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    static bool LogoutRunning(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // Hands absolute local paths to the running copy, which uploads them as a drop of them.
    static SendResult SendFilesToRunning(const QStringList& paths,
                                         std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

public Q_SLOTS:
    Q_SCRIPTABLE void Activate();
    Q_SCRIPTABLE void Logout();
    Q_SCRIPTABLE bool UploadFiles(const QStringList& paths);

Q_SIGNALS:
    void activateRequested();
    void logoutRequested();

private:
    bool m_owner = false;
    bool m_published = false;
    FilesHandler m_filesHandler;
};
