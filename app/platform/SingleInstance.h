#pragma once
// One running copy per session: it owns the bus name and answers Activate() and Logout() on
// /QuorvaneClass, for a second copy and for the toolbar.
#include <QObject>

#include <chrono>

inline constexpr char kQuorvaneService[] = "org.brellow.Quorvane";
inline constexpr char kQuorvanePath[] = "/QuorvaneClass";
inline constexpr char kQuorvaneInterface[] = "org.brellow.Quorvane.MainWindow";

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.brellow.Quorvane.MainWindow")

public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this copy now owns the name; false when another copy runs (or the bus is unusable).
    bool Acquire();
    bool IsOwner() const { return m_owner; }
    // Offers Activate() and Logout() from now on: the main window is about to exist. Before that, a
    // second copy's call fails at once instead of waiting for a copy that is still starting.
    bool PublishWindow();

    // Asks the running copy to come to the front; false when none answered.
    static bool ActivateRunning(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    static bool LogoutRunning(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

public Q_SLOTS:
    Q_SCRIPTABLE void Activate();
    Q_SCRIPTABLE void Logout();

Q_SIGNALS:
    void activateRequested();
    void logoutRequested();

private:
    bool m_owner = false;
    bool m_published = false;
};
