#include "app/platform/SingleInstance.h"

#include <QCoreApplication>
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
        if (m_published)
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
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        QLatin1String(kQuorvaneService), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered)
        return false;
    m_owner = true;
    // The bus connection holds every incoming call until the event loop first runs; let it start now,
    // so that a second copy calling while this one is still starting is told at once there is no window.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}

bool SingleInstance::PublishWindow() {
    if (!m_owner)
        return false;
    if (m_published)
        return true;
    m_published = QDBusConnection::sessionBus().registerObject(QLatin1String(kQuorvanePath), this,
                                                               QDBusConnection::ExportScriptableSlots);
    return m_published;
}

bool SingleInstance::ActivateRunning(std::chrono::milliseconds timeout) { return callRunning("Activate", timeout); }

bool SingleInstance::LogoutRunning(std::chrono::milliseconds timeout) { return callRunning("Logout", timeout); }

void SingleInstance::Activate() { Q_EMIT activateRequested(); }

void SingleInstance::Logout() { Q_EMIT logoutRequested(); }
