#include "app/platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>

namespace {
bool callRunning(const char* method, std::chrono::milliseconds timeout) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kQuorvaneService), QLatin1String(kQuorvanePath),
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

bool SingleInstance::ActivateRunning(std::chrono::milliseconds timeout) {
    return callRunning("Activate", timeout);
}

bool SingleInstance::LogoutRunning(std::chrono::milliseconds timeout) {
    return callRunning("Logout", timeout);
}

SingleInstance::SendResult SingleInstance::SendFilesToRunning(const QStringList& paths,
                                                              std::chrono::milliseconds timeout) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return SendResult::NoCopy;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kQuorvaneService), QLatin1String(kQuorvanePath),
                                       QLatin1String(kQuorvaneInterface), QStringLiteral("UploadFiles"));
    call << paths;
    // Never start a copy through the bus: only one the toolbar started has a session.
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, static_cast<int>(timeout.count()));
    if (reply.type() == QDBusMessage::ReplyMessage) {
        const QList<QVariant> values = reply.arguments();
        return !values.isEmpty() && values.first().toBool() ? SendResult::Taken : SendResult::Refused;
    }
    const QString error = reply.errorName();
    if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return SendResult::NoCopy;
    // A copy still starting (no window yet), one that does not answer in time, or one too old to know
    // the call: it has the name but does not take the files.
    return SendResult::Refused;
}

void SingleInstance::Activate() {
    Q_EMIT activateRequested();
}

void SingleInstance::Logout() {
    Q_EMIT logoutRequested();
}

bool SingleInstance::UploadFiles(const QStringList& paths) {
    if (!m_filesHandler || paths.isEmpty())
        return false;
    // Paths relative to the sender's folder would name other files here.
    for (const QString& path : paths) {
        if (!QDir::isAbsolutePath(path))
            return false;
    }
    return m_filesHandler(paths);
}
