// The file manager request on a private session bus: a stand-in file manager on a connection of its own
// records what it is asked and answers at once, late, with an error, or not at all.
#include "app/platform/FileManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <optional>

using namespace std::chrono_literals;
using Outcome = FileManager::Outcome;

namespace {

const QString kStandInConnection = QStringLiteral("stand-in file manager");

enum class Answer { AtOnce, Late, Refuse, LeaveTheBus };

class FakeFileManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    Answer answer = Answer::AtOnce;
    std::chrono::milliseconds delay{0};
    QStringList shown;
    QString startupId;
    int calls = 0;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startup) {
        ++calls;
        shown = uris;
        startupId = startup;
        if (answer == Answer::AtOnce)
            return;
        setDelayedReply(true);
        const QDBusMessage request = message();
        QDBusConnection bus = connection();
        QTimer::singleShot(delay, this, [this, request, bus]() mutable {
            switch (answer) {
            case Answer::Late:
                bus.send(request.createReply());
                break;
            case Answer::Refuse:
                bus.send(request.createErrorReply(QDBusError::AccessDenied, QStringLiteral("no")));
                break;
            case Answer::LeaveTheBus:
                QDBusConnection::disconnectFromBus(kStandInConnection);
                break;
            case Answer::AtOnce:
                break;
            }
        });
    }
};

} // namespace

class FileManagerTest : public QObject {
    Q_OBJECT

    // Runs one request and waits for its single outcome. The stand-in answers from this thread's event
    // loop, so a request that waited inside the call could not see its answer in time.
    static std::optional<Outcome> Show(const QStringList& paths, std::chrono::milliseconds timeout) {
        std::optional<Outcome> outcome;
        int answers = 0;
        FileManager(timeout).ShowItems(paths, [&](Outcome o) {
            outcome = o;
            ++answers;
        });
        if (outcome)
            return std::nullopt; // answered inside the call: the caller's window would have waited
        if (!QTest::qWaitFor([&] { return outcome.has_value(); }, 10000))
            return std::nullopt;
        QTest::qWait(100);
        return answers == 1 ? outcome : std::nullopt;
    }

private Q_SLOTS:
    void noFileManagerOnTheBus() {
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QCOMPARE(Show({QStringLiteral("/tmp/a.txt")}, 3000ms), std::optional(Outcome::Failed));
    }

    void showsTheFilesAsUris_data() {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("uris");
        QTest::newRow("one") << QStringList{QStringLiteral("/home/u/받은 파일.txt")}
                             << QStringList{
                                    QStringLiteral("file:///home/u/%EB%B0%9B%EC%9D%80%20%ED%8C%8C%EC%9D%BC.txt")};
        // One window of the folder, not one for each file.
        QTest::newRow("two, with a hash") << QStringList{QStringLiteral("/d/a#1.bin"), QStringLiteral("/d/b.bin")}
                                          << QStringList{QStringLiteral("file:///d/a%231.bin")};
    }
    void showsTheFilesAsUris() {
        QFETCH(QStringList, paths);
        QFETCH(QStringList, uris);
        FakeFileManager fake;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(QString::fromLatin1(kFileManagerPath), &fake, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QString::fromLatin1(kFileManagerService)));
        const std::optional<Outcome> outcome = Show(paths, 3000ms);
        bus.unregisterService(QString::fromLatin1(kFileManagerService));
        bus.unregisterObject(QString::fromLatin1(kFileManagerPath));
        QCOMPARE(outcome, std::optional(Outcome::Shown));
        QCOMPARE(fake.shown, uris);
        QCOMPARE(fake.startupId, QString());
        // Each URI names the local file again.
        for (int i = 0; i < uris.size(); ++i)
            QCOMPARE(QUrl(fake.shown.at(i)).toLocalFile(), paths.at(i));
    }

    // A file manager in another process: the caller never waits for it, and only a real failure lets
    // the caller open the folder besides (a late answer would otherwise give a second window).
    void answersOverTheBus_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("at once") << Answer::AtOnce << 0 << 3000 << Outcome::Shown;
        QTest::newRow("slow to start, in time") << Answer::Late << 1500 << 3000 << Outcome::Shown;
        QTest::newRow("after the time-out") << Answer::Late << 1500 << 300 << Outcome::Unanswered;
        QTest::newRow("refuses") << Answer::Refuse << 200 << 3000 << Outcome::Failed;
        QTest::newRow("leaves the bus unanswered") << Answer::LeaveTheBus << 200 << 3000 << Outcome::Failed;
    }
    void answersOverTheBus() {
        QFETCH(Answer, answer);
        QFETCH(int, delayMs);
        QFETCH(int, timeoutMs);
        QFETCH(Outcome, outcome);
        FakeFileManager fake;
        fake.answer = answer;
        fake.delay = std::chrono::milliseconds(delayMs);
        {
            QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kStandInConnection);
            QVERIFY(other.isConnected());
            QVERIFY(other.registerObject(QString::fromLatin1(kFileManagerPath), &fake,
                                         QDBusConnection::ExportAllSlots));
            QVERIFY(other.registerService(QString::fromLatin1(kFileManagerService)));
        }
        const std::optional<Outcome> seen =
            Show({QStringLiteral("/d/a.bin")}, std::chrono::milliseconds(timeoutMs));
        QDBusConnection::disconnectFromBus(kStandInConnection);
        QTRY_VERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QString::fromLatin1(kFileManagerService)));
        QCOMPARE(seen, std::optional(outcome));
        QCOMPARE(fake.calls, 1);
        QCOMPARE(fake.shown, QStringList{QStringLiteral("file:///d/a.bin")});
    }

    void nothingToShow() { QCOMPARE(Show({}, 3000ms), std::optional(Outcome::Failed)); }
};

QTEST_GUILESS_MAIN(FileManagerTest)
#include "tst_file_manager.moc"
