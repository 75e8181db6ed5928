// The end of the session and Ctrl-C reach the event loop once; a second one, or one outside a watch,
// takes the default action again.
#include "app/platform/TerminationSignals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {
bool DefaultAction(int number) {
    struct sigaction current {};
    return sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}
} // namespace

class TerminationSignalsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deliveredOnceThenDefault_data() {
        QTest::addColumn<int>("number");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void deliveredOnceThenDefault() {
        QFETCH(int, number);
        TerminationSignals watch;
        QVERIFY(watch.Watching());
        QVERIFY(!DefaultAction(number));
        QSignalSpy spy(&watch, &TerminationSignals::requested);
        QCOMPARE(::raise(number), 0);
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), number);
        // Still being handled: a second one of any kind must end the process.
        for (int other : {SIGTERM, SIGINT, SIGHUP})
            QVERIFY(DefaultAction(other));
    }

    void oneWatchAtATime() {
        {
            TerminationSignals first;
            TerminationSignals second;
            QVERIFY(first.Watching());
            QVERIFY(!second.Watching());
        }
        for (int number : {SIGTERM, SIGINT, SIGHUP})
            QVERIFY(DefaultAction(number));
        TerminationSignals again;
        QVERIFY(again.Watching());
    }
};

QTEST_GUILESS_MAIN(TerminationSignalsTest)
#include "tst_termination_signals.moc"
