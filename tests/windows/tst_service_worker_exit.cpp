// A service worker whose call is stalled when the program ends: its window gives up waiting for it, and
// the store it writes into must still be there when the answer comes.
#include "app/SessionStore.h"
#include "service/FileService.h"
#include "tools/cloffa-service/LocalService.h"
#include "ui/windows/ServiceWorker.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestServiceWorkerExit : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<cloffa::LocalService> m_service;

private slots:
    void initTestCase() {
        cloffa::ServiceOptions o;
        o.storeDir = m_dir.filePath(u"store"_s).toStdString();
        m_service = std::make_unique<cloffa::LocalService>(o);
        std::string error;
        QVERIFY2(m_service->start(&error), error.c_str());
        m_service->addFile("late.txt", "late");
    }
    void cleanupTestCase() { m_service.reset(); }

    void storeOutlivesStalledWorker_data() {
        QTest::addColumn<int>("operation");
        QTest::newRow("list") << int(ServiceOperation::List);
        QTest::newRow("version check") << int(ServiceOperation::VersionCheck);
    }
    void storeOutlivesStalledWorker() {
        QFETCH(int, operation);
        cloffa::Fault stall;
        stall.kind = cloffa::Fault::Kind::Stall;
        stall.stallMs = 3500; // past the window's 2 s wait, well within the receive time-out
        m_service->injectFault(cloffa::Endpoint::Soap, stall);

        auto store = std::make_unique<SessionStore>(SessionStore::Settings::None);
        store->SetSessionKey(u"test-session-key"_s);
        FileServiceSettings settings = FileServiceSettings::FromDeployment();
        settings.baseUrl = QString::fromStdString(m_service->baseUrl());
        settings.caFile = QString::fromStdString(m_service->caFile().string());
        auto service = std::make_shared<FileService>(settings);
        auto token = std::make_shared<ReceiverToken>(nullptr, nullptr);
        {
            ServiceWorker worker(service, *store, token, ServiceOperation(operation));
            QVERIFY(worker.Start());
            QTest::qWait(300); // the call is under way
            token->Revoke();   // the windows are gone
        }                      // the worker is left to finish on its own
        const std::weak_ptr<FileService> callInFlight = service;
        service.reset();
        token.reset();
        // main() ends: the store goes only once the late answer has been written into it.
        QElapsedTimer timer;
        timer.start();
        if (ServiceOperation(operation) == ServiceOperation::List) {
            const qint32 quota = store->QuotaTotal();
            QCOMPARE(quota, 0); // not there yet
        }
        store.reset();
        QVERIFY2(timer.elapsed() >= 500, qPrintable(QString::number(timer.elapsed())));
        // The worker let go of its call only after it was done with the store.
        QVERIFY(callInFlight.expired());
    }

    void storeEndsAProcessWhoseWorkerIsStuck() {
        // A worker that never lets go of the store (stuck where no stop reaches it): the program still
        // ends within a few seconds instead of living on without a window.
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            auto* store = new SessionStore(SessionStore::Settings::None);
            std::thread([hold = std::make_shared<SessionStore::Hold>(*store)] {
                for (;;)
                    ::pause();
            }).detach();
            delete store;
            ::_exit(3); // not reached: the store ends the process with 0
        }
        int status = -1;
        QElapsedTimer timer;
        timer.start();
        pid_t ended = 0;
        while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && timer.elapsed() < 10000)
            QTest::qWait(50);
        if (ended == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        qInfo("the process ended %lld ms after the store went", static_cast<long long>(timer.elapsed()));
        QCOMPARE(ended, child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
};

QTEST_MAIN(TestServiceWorkerExit)
#include "tst_service_worker_exit.moc"
