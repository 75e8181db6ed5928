// tavirun: the toolbar stand-in. Serves the session, makes launch tokens, starts the client, logs out.
#include "app/CodePage.h"
#include "app/CredentialProtection.h"
#include "app/LaunchSeed.h"
#include "app/SessionBlob.h"
#include "app/platform/SingleInstance.h"
#include "app/platform/ToolbarSessionClient.h"
#include "tools/tavirun/SessionServer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace {
int usage() {
    std::fprintf(stderr,
                 "usage: tavirun serve --user ID --session-key KEY [--password P] [--user-key K]\n"
                 "                     [--fail error|timeout|wrong-user|empty-key] [--exit-after SECONDS]\n"
                 "       tavirun token ID [--volume-serial N] [--seed HEX128]\n"
                 "       tavirun launch [--user ID] [--left X --top Y] -- PATH [ARGS...]\n"
                 "       tavirun logout\n");
    return 2;
}

// Options as "--name value" pairs before "--"; the rest are positional.
struct Options {
    QMap<QString, QString> named;
    QStringList positional;
    QStringList afterDashes;
    bool ok = true;
};

Options parse(const QStringList& args) {
    Options o;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--")) {
            o.afterDashes = args.mid(i + 1);
            break;
        }
        if (a.startsWith(QLatin1String("--"))) {
            if (i + 1 >= args.size()) {
                o.ok = false;
                break;
            }
            o.named.insert(a.mid(2), args.at(++i));
        } else {
            o.positional.append(a);
        }
    }
    return o;
}

// Volume serial and seed overrides let tests pose as another machine or another toolbar build.
QByteArray tokenFor(const QString& userId, const Options& o) {
    const QString volumeTag = o.named.contains(QStringLiteral("volume-serial"))
                                  ? VolumeTag(o.named.value(QStringLiteral("volume-serial")).toUInt())
                                  : GetVolumeTag();
    const QByteArray seed = o.named.contains(QStringLiteral("seed"))
                                ? o.named.value(QStringLiteral("seed")).toLatin1()
                                : QByteArray(kLaunchSeed);
    const QByteArray key = MakeLaunchKey(MakeKeySeed(seed), volumeTag);
    return EncryptToHex(ToAnsi(userId), QString::fromLatin1(key));
}

int serve(QCoreApplication& app, const Options& o) {
    SessionServer::Values values;
    values.userId = o.named.value(QStringLiteral("user"));
    values.sessionKey = o.named.value(QStringLiteral("session-key"));
    values.password = o.named.value(QStringLiteral("password"));
    values.userKey = o.named.value(QStringLiteral("user-key"));
    if (!o.named.contains(QStringLiteral("user")) || !o.named.contains(QStringLiteral("session-key")))
        return usage();
    const QString failText = o.named.value(QStringLiteral("fail"));
    SessionServer::Fail fail = SessionServer::Fail::None;
    if (failText == QLatin1String("error"))
        fail = SessionServer::Fail::Error;
    else if (failText == QLatin1String("timeout"))
        fail = SessionServer::Fail::Timeout;
    else if (failText == QLatin1String("wrong-user"))
        fail = SessionServer::Fail::WrongUser;
    else if (failText == QLatin1String("empty-key"))
        fail = SessionServer::Fail::EmptyKey;
    else if (!failText.isEmpty())
        return usage();

    QDBusConnection bus = QDBusConnection::sessionBus();
    SessionServer server(values, fail);
    if (!bus.isConnected() ||
        !bus.registerObject(QLatin1String(kToolbarSessionPath), &server, QDBusConnection::ExportScriptableSlots)) {
        std::fprintf(stderr, "tavirun: no session bus\n");
        return 1;
    }
    const auto reply = bus.interface()->registerService(QLatin1String(kToolbarSessionService),
                                                        QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        std::fprintf(stderr, "tavirun: the session server already runs\n");
        return 1;
    }
    std::printf("serving\n");
    std::fflush(stdout);
    if (o.named.contains(QStringLiteral("exit-after"))) {
        const double seconds = o.named.value(QStringLiteral("exit-after")).toDouble();
        QTimer::singleShot(static_cast<int>(seconds * 1000), &app, &QCoreApplication::quit);
    }
    return app.exec();
}

QString userFromServer() {
    QString blob;
    qint32 length = 0;
    if (!ToolbarSessionClient().GetSessionBlob(blob, length))
        return {};
    SessionMap map;
    DecodeSessionBlob(length, blob.toLatin1(), map);
    QString user;
    GetSessionValue(map, QStringLiteral("userid"), user, true);
    return user;
}

int launch(const Options& o) {
    if (o.afterDashes.isEmpty())
        return usage();
    QString user = o.named.value(QStringLiteral("user"));
    if (!o.named.contains(QStringLiteral("user")))
        user = userFromServer();
    const QString left = o.named.value(QStringLiteral("left"), QStringLiteral("200"));
    const QString top = o.named.value(QStringLiteral("top"), QStringLiteral("200"));
    QStringList args{QStringLiteral("/start"), QString::fromLatin1(tokenFor(user, o)), left, top};
    args += o.afterDashes.mid(1);
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(o.afterDashes.at(0), args);
    if (!process.waitForStarted())
        return 127;
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : 128;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    const Options o = parse(args);
    if (!o.ok)
        return usage();
    if (command == QLatin1String("serve"))
        return serve(app, o);
    if (command == QLatin1String("token")) {
        if (o.positional.size() != 1)
            return usage();
        std::printf("%s\n", tokenFor(o.positional.at(0), o).constData());
        return 0;
    }
    if (command == QLatin1String("launch"))
        return launch(o);
    if (command == QLatin1String("logout"))
        return SingleInstance::LogoutRunning() ? 0 : 1;
    return usage();
}
