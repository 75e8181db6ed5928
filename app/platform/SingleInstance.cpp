#include "app/platform/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {
bool callRunning(const char* method, std::chrono::milliseconds timeout) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kQuorvaneService),
                                                       QLatin1String(kQuorvanePath),
                                                       QLatin1String(kQuorvaneInterface), QLatin1String(method));
    const QDBusMessage reply = bus.call(call, QDBus::Block, static_cast<int>(timeout.count()));
    return reply.type() == QDBusMessage::ReplyMessage;
}
} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() {
    if (m_owner) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QLatin1String(kQuorvanePath));
        bus.unregisterService(QLatin1String(kQuorvaneService));
    }
}

bool SingleInstance::Acquire() {
    if (m_owner)
        return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    // Export first, so a second copy that sees the name can call straight away.
    if (!bus.registerObject(QLatin1String(kQuorvanePath), this, QDBusConnection::ExportScriptableSlots))
        return false;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        QLatin1String(kQuorvaneService), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(QLatin1String(kQuorvanePath));
        return false;
    }
    m_owner = true;
    return true;
}

bool SingleInstance::ActivateRunning(std::chrono::milliseconds timeout) { return callRunning("Activate", timeout); }

bool SingleInstance::LogoutRunning(std::chrono::milliseconds timeout) { return callRunning("Logout", timeout); }

void SingleInstance::Activate() { Q_EMIT activateRequested(); }

void SingleInstance::Logout() { Q_EMIT logoutRequested(); }
