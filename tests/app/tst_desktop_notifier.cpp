// Notifications and task bar progress on a bus of the test's own (its own configuration: nothing on it
// but what the test puts there), heard by a stand-in notification service and a stand-in task bar.
#include "app/platform/DesktopNotifier.h"
#include "app/platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {
const QString kListener = u"listener"_s;

struct Notification {
    QString appName, icon, summary, body, desktopEntry;
    quint32 replaces = 1;
    qint32 expires = 0;
};

class StandInNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<Notification> received;

public Q_SLOTS:
    uint Notify(const QString& appName, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int expires) {
        received.append(
            {appName, icon, summary, body, hints.value(u"desktop-entry"_s).toString(), replaces, expires});
        return uint(received.size());
    }
};

// The task bar's side: every Update signal, whatever object sent it.
class StandInTaskBar : public QObject {
    Q_OBJECT
public:
    QList<QPair<QString, QVariantMap>> updates;

public Q_SLOTS:
    void Update(const QString& app, const QVariantMap& properties) { updates.append({app, properties}); }
};
} // namespace

class DesktopNotifierTest : public QObject {
    Q_OBJECT
    QDBusConnection listener() const { return QDBusConnection(kListener); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QVERIFY(listener().isConnected());
    }

    void notifies_data() {
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("shownBody");
        QTest::newRow("korean") << u"업로드를 마쳤습니다."_s << u"2개의 파일을 업로드했습니다."_s
                                << u"2개의 파일을 업로드했습니다."_s;
        // Servers read the body as markup: a name with markup characters stays text.
        QTest::newRow("markup characters")
            << u"다운로드하지 못했습니다."_s << u"<b>a&b</b>.txt"_s << u"&lt;b&gt;a&amp;b&lt;/b&gt;.txt"_s;
    }
    void notifies() {
        QFETCH(QString, summary);
        QFETCH(QString, body);
        QFETCH(QString, shownBody);
        StandInNotifications service;
        QVERIFY(listener().registerObject(QLatin1String(kNotificationsPath), &service,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(listener().registerService(QLatin1String(kNotificationsService)));
        {
            SessionBusNotifier notifier(u"org.brellow.Quorvane"_s);
            notifier.Notify(summary, body);
            QTRY_COMPARE_WITH_TIMEOUT(service.received.size(), 1, 5000);
        }
        // The waiting call blocks its thread: the stand-in answers from this one's loop.
        bool taken = false;
        QThread* caller = QThread::create([&taken, summary, body] {
            taken = SessionBusNotifier::NotifyAndWait(u"org.brellow.Quorvane"_s, summary, body);
        });
        caller->start();
        QTRY_VERIFY_WITH_TIMEOUT(caller->isFinished(), 10000);
        delete caller;
        QVERIFY(taken);
        QCOMPARE(service.received.size(), 2);
        listener().unregisterService(QLatin1String(kNotificationsService));
        listener().unregisterObject(QLatin1String(kNotificationsPath));
        for (const Notification& n : std::as_const(service.received)) {
            QCOMPARE(n.appName, u"Cloffa"_s);
            QCOMPARE(n.icon, u"org.brellow.Quorvane"_s);
            QCOMPARE(n.desktopEntry, u"org.brellow.Quorvane"_s);
            QCOMPARE(n.summary, summary);
            QCOMPARE(n.body, shownBody);
            QCOMPARE(n.replaces, 0u);
            QCOMPARE(n.expires, -1);
        }
    }

    // Nothing answers on this bus (no service to start either): told at once, never a hang.
    void noNotificationService() {
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!SessionBusNotifier::NotifyAndWait(u"org.brellow.Quorvane"_s, u"a"_s, u"b"_s));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }

    // Each step: "p <batch> <done> <files> <current>" for progress, "e <batch>" for an end. The last
    // Update heard, and how many were sent.
    void taskBar_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<double>("progress");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<qlonglong>("count");
        QTest::addColumn<int>("updates");
        QTest::newRow("first file halfway") << QStringList{u"p 1 0 2 0.5"_s} << 0.25 << true << 2LL << 1;
        QTest::newRow("second file started")
            << QStringList{u"p 1 0 2 0.5"_s, u"p 1 1 2 0"_s} << 0.5 << true << 1LL << 2;
        QTest::newRow("two batches add up")
            << QStringList{u"p 1 1 2 0"_s, u"p 2 0 2 0.5"_s} << 0.375 << true << 3LL << 2;
        QTest::newRow("the same again is not sent")
            << QStringList{u"p 1 0 4 0.5"_s, u"p 1 0 4 0.5001"_s} << 0.125 << true << 4LL << 1;
        QTest::newRow("last batch ended") << QStringList{u"p 1 0 1 0.9"_s, u"e 1"_s} << 0.0 << false << 0LL << 2;
        QTest::newRow("one of two ended")
            << QStringList{u"p 1 0 1 0.5"_s, u"p 2 0 1 0.5"_s, u"e 1"_s} << 0.5 << true << 1LL << 3;
        QTest::newRow("out of range clamped") << QStringList{u"p 1 5 2 7"_s} << 1.0 << true << 0LL << 1;
        QTest::newRow("an unknown batch ends") << QStringList{u"e 3"_s} << -1.0 << false << 0LL << 0;
    }
    void taskBar() {
        QFETCH(QStringList, steps);
        QFETCH(double, progress);
        QFETCH(bool, visible);
        QFETCH(qlonglong, count);
        QFETCH(int, updates);
        StandInTaskBar bar;
        QVERIFY(listener().connect(QString(), QString(), QLatin1String(kLauncherEntryInterface), u"Update"_s, &bar,
                                   SLOT(Update(QString, QVariantMap))));
        // The match rule is in place once a marker is heard; what an earlier row left on the way is
        // heard before it, and dropped.
        const auto heard = [&bar](const QString& name) {
            QDBusMessage marker =
                QDBusMessage::createSignal(u"/marker"_s, QLatin1String(kLauncherEntryInterface), u"Update"_s);
            marker << name << QVariantMap();
            QDBusConnection::sessionBus().send(marker);
            QTest::qWait(20);
            return !bar.updates.isEmpty() && bar.updates.last().first == name;
        };
        QTRY_VERIFY_WITH_TIMEOUT(heard(u"ready"_s), 5000);
        bar.updates.clear();
        const int batches[4] = {};
        {
            SessionBusNotifier notifier(u"org.brellow.Quorvane"_s);
            for (const QString& step : std::as_const(steps)) {
                const QStringList f = step.split(u' ');
                const void* batch = &batches[f.at(1).toInt()];
                if (f.at(0) == u"p"_s)
                    notifier.BatchProgress(batch, f.at(2).toInt(), f.at(3).toInt(), f.at(4).toDouble());
                else
                    notifier.BatchEnded(batch);
            }
            // A marker sent after the steps: once it is heard, every Update before it has been too.
            QTRY_VERIFY_WITH_TIMEOUT(heard(u"marker"_s), 5000);
            bar.updates.removeIf([](const auto& u) { return u.first == u"marker"_s || u.first == u"ready"_s; });
            QCOMPARE(bar.updates.size(), updates);
        }
        listener().disconnect(QString(), QString(), QLatin1String(kLauncherEntryInterface), u"Update"_s, &bar,
                              SLOT(Update(QString, QVariantMap)));
        if (updates == 0)
            return;
        const auto& [app, props] = bar.updates.last();
        QCOMPARE(app, u"application://org.brellow.Quorvane.desktop"_s);
        QCOMPARE(props.value(u"progress-visible"_s).toBool(), visible);
        QCOMPARE(props.value(u"count-visible"_s).toBool(), visible && count > 0);
        QCOMPARE(props.value(u"count"_s).metaType(), QMetaType::fromType<qlonglong>());
        QCOMPARE(props.value(u"count"_s).toLongLong(), count);
        QVERIFY2(qAbs(props.value(u"progress"_s).toDouble() - progress) < 0.002,
                 qPrintable(QString::number(props.value(u"progress"_s).toDouble())));
    }

    // Sent files reach the running copy's handler only as absolute paths; without a handler, or with
    // no copy at all, the sender learns it.
    void filesToTheRunningCopy_data() {
        QTest::addColumn<int>("copy"); // 0 none, 1 without a handler, 2 taking, 3 refusing
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("handled");
        const QStringList two{u"/tmp/한글 a.txt"_s, u"/tmp/b"_s};
        QTest::newRow("no copy") << 0 << two << int(SingleInstance::SendResult::NoCopy) << QStringList();
        QTest::newRow("copy without a window")
            << 1 << two << int(SingleInstance::SendResult::Refused) << QStringList();
        QTest::newRow("taken") << 2 << two << int(SingleInstance::SendResult::Taken) << two;
        QTest::newRow("busy") << 3 << two << int(SingleInstance::SendResult::Refused) << two;
        QTest::newRow("relative path") << 2 << QStringList{u"a.txt"_s} << int(SingleInstance::SendResult::Refused)
                                       << QStringList();
    }
    void filesToTheRunningCopy() {
        QFETCH(int, copy);
        QFETCH(QStringList, paths);
        QFETCH(int, result);
        QFETCH(QStringList, handled);
        // The running copy lives on its own connection, answering from this thread's event loop.
        QDBusConnection running = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"running"_s);
        SingleInstance instance;
        QStringList got;
        if (copy > 0) {
            QVERIFY(running.registerService(QLatin1String(kQuorvaneService)));
            if (copy > 1) {
                QVERIFY(running.registerObject(QLatin1String(kQuorvanePath), &instance,
                                               QDBusConnection::ExportScriptableSlots));
                instance.SetFilesHandler([&got, copy](const QStringList& p) {
                    got = p;
                    return copy == 2;
                });
            }
        }
        // The call blocks this thread, so the answer comes from a helper thread's loop.
        SingleInstance::SendResult sent = SingleInstance::SendResult::NoCopy;
        QThread* caller = QThread::create([&sent, paths] { sent = SingleInstance::SendFilesToRunning(paths); });
        caller->start();
        QTRY_VERIFY_WITH_TIMEOUT(caller->isFinished(), 10000);
        delete caller;
        running.unregisterObject(QLatin1String(kQuorvanePath));
        running.unregisterService(QLatin1String(kQuorvaneService));
        QDBusConnection::disconnectFromBus(u"running"_s);
        QCOMPARE(int(sent), result);
        QCOMPARE(got, handled);
    }
};

// A bus of this test's own, from its own configuration file: no service folder, so nothing can be
// started on it and nothing installed on the machine answers.
int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString config = dir.filePath(u"bus.conf"_s);
    {
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return 2;
        f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>unix:tmpdir=" +
                dir.path().toUtf8() +
                "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                "eavesdrop=\"true\"/>"
                "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    }
    QProcess daemon;
    daemon.start(u"dbus-daemon"_s, {u"--config-file="_s + config, u"--nofork"_s, u"--print-address=1"_s});
    if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000))
        return 2;
    const QByteArray address = daemon.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    int status = 0;
    {
        QCoreApplication app(argc, argv);
        QDBusConnection::connectToBus(QString::fromUtf8(address), kListener);
        DesktopNotifierTest test;
        status = QTest::qExec(&test, argc, argv);
        QDBusConnection::disconnectFromBus(kListener);
    }
    daemon.terminate();
    if (!daemon.waitForFinished(3000))
        daemon.kill();
    daemon.waitForFinished(3000);
    return status;
}

#include "tst_desktop_notifier.moc"
