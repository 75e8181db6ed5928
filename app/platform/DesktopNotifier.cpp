#include "app/platform/DesktopNotifier.h"

#include "res/Strings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace {
QDBusMessage NotifyMessage(const QString& desktopFile, const QString& summary, const QString& body) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kNotificationsService), QLatin1String(kNotificationsPath),
                                       QLatin1String(kNotificationsService), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), desktopFile);
    // The body is shown as markup by some servers: the texts are plain.
    const QString escaped = body.toHtmlEscaped();
    call << Strings::AppCaption << quint32(0) << desktopFile << summary << escaped << QStringList() << hints
         << qint32(-1);
    return call;
}
} // namespace

SessionBusNotifier::SessionBusNotifier(const QString& desktopFile, QObject* parent)
    : QObject(parent), m_desktopFile(desktopFile) {}

SessionBusNotifier::~SessionBusNotifier() {
    // A task bar entry never keeps the progress of a program that has gone.
    if (!m_batches.empty()) {
        m_batches.clear();
        SendUpdate();
    }
}

void SessionBusNotifier::Notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Never waited for: a notification service that is slow to start must not hold the window.
    bus.asyncCall(NotifyMessage(m_desktopFile, summary, body));
}

bool SessionBusNotifier::NotifyAndWait(const QString& desktopFile, const QString& summary, const QString& body,
                                       std::chrono::milliseconds timeout) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QDBusMessage reply =
        bus.call(NotifyMessage(desktopFile, summary, body), QDBus::Block, static_cast<int>(timeout.count()));
    return reply.type() == QDBusMessage::ReplyMessage;
}

void SessionBusNotifier::BatchProgress(const void* batch, int filesDone, int files, double current) {
    if (!batch || files <= 0)
        return;
    Batch& b = m_batches[batch];
    b.files = files;
    b.filesDone = std::clamp(filesDone, 0, files);
    b.current = std::isfinite(current) ? std::clamp(current, 0.0, 1.0) : 0.0;
    SendUpdate();
}

void SessionBusNotifier::BatchEnded(const void* batch) {
    if (m_batches.erase(batch) > 0)
        SendUpdate();
}

void SessionBusNotifier::SendUpdate() {
    double done = 0;
    qint64 files = 0;
    qint64 left = 0;
    for (const auto& [key, b] : m_batches) {
        done += b.filesDone + (b.filesDone < b.files ? b.current : 0.0);
        files += b.files;
        left += b.files - b.filesDone;
    }
    const bool visible = files > 0;
    const double fraction = visible ? std::clamp(done / double(files), 0.0, 1.0) : 0.0;
    const int permille = visible ? int(fraction * 1000) : -1;
    if (permille == m_sentPermille && left == m_sentLeft)
        return;
    m_sentPermille = permille;
    m_sentLeft = left;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(
        QLatin1String(kLauncherEntryPath), QLatin1String(kLauncherEntryInterface), QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), fraction);
    properties.insert(QStringLiteral("progress-visible"), visible);
    properties.insert(QStringLiteral("count"), left);
    properties.insert(QStringLiteral("count-visible"), visible && left > 0);
    update << QStringLiteral("application://%1.desktop").arg(m_desktopFile) << properties;
    bus.send(update);
}
