#include "app/LaunchArguments.h"

#include <QTest>

class LaunchArgumentsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("proceed");
        QTest::addColumn<bool>("hasToken");
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::newRow("start") << QStringLiteral("/opt/q/Quorvane.exe /start abcd 100 50") << true << true
                               << QStringLiteral("abcd") << 100 << 50;
        QTest::newRow("quoted path") << QStringLiteral("\"/opt/my q/Quorvane.exe\" /start abcd 100 50") << true
                                     << true << QStringLiteral("abcd") << 100 << 50;
        QTest::newRow("upper case") << QStringLiteral("/x/Quorvane.exe /START t 1 2") << true << true
                                    << QStringLiteral("t") << 1 << 2;
        QTest::newRow("mixed case") << QStringLiteral("/x/Quorvane.exe /Start t 1 2") << true << true
                                    << QStringLiteral("t") << 1 << 2;
        QTest::newRow("three tokens") << QStringLiteral("/x/Quorvane.exe /start t 1") << false << false
                                      << QString() << 200 << 200;
        QTest::newRow("five tokens") << QStringLiteral("/x/Quorvane.exe /start t 1 2 3") << false << false
                                     << QString() << 200 << 200;
        QTest::newRow("letters give 0")
            << QStringLiteral("/x/Quorvane.exe /start t abc 50") << true << true << QStringLiteral("t") << 0 << 50;
        QTest::newRow("sign and trailing text") << QStringLiteral("/x/Quorvane.exe /start t -12px +7") << true
                                                << true << QStringLiteral("t") << -12 << 7;
        QTest::newRow("no arguments") << QStringLiteral("/x/Quorvane.exe") << false << false << QString() << 200
                                      << 200;
        QTest::newRow("blanks only") << QStringLiteral("/x/Quorvane.exe   \t ") << false << false << QString()
                                     << 200 << 200;
        QTest::newRow("other argument keeps defaults")
            << QStringLiteral("/x/Quorvane.exe hello") << true << false << QString() << 200 << 200;
        // Without the name the arguments start at position 12.
        QTest::newRow("other name") << QStringLiteral("/usr/bin/qv /start t 5 6") << true << true
                                    << QStringLiteral("t") << 5 << 6;
        QTest::newRow("other name cuts into the text")
            << QStringLiteral("/usr/bin/quorvane /start t 5 6") << true << false << QString() << 200 << 200;
        QTest::newRow("name is case-sensitive")
            << QStringLiteral("/usr/bin/qv/quorvane.exe /start t 5 6") << true << false << QString() << 200 << 200;
        QTest::newRow("start beyond the end")
            << QStringLiteral("short") << false << false << QString() << 200 << 200;
        QTest::newRow("just under the limit")
            << QStringLiteral("/x/Quorvane.exe /start ") + QString(232, u'a') + QStringLiteral(" 1 2") << true
            << true << QString(232, u'a') << 1 << 2;
        QTest::newRow("260 refused") << QStringLiteral("/x/Quorvane.exe /start ") + QString(233, u'a') +
                                            QStringLiteral(" 1 2")
                                     << false << false << QString() << 200 << 200;
        QTest::newRow("far over refused")
            << QStringLiteral("/x/Quorvane.exe /start ") + QString(5000, u'a') + QStringLiteral(" 1 2") << false
            << false << QString() << 200 << 200;
    }
    void parse() {
        QFETCH(QString, line);
        QFETCH(bool, proceed);
        QFETCH(bool, hasToken);
        QFETCH(QString, token);
        QFETCH(int, left);
        QFETCH(int, top);
        const LaunchArguments a = ParseLaunchCommandLine(line);
        QCOMPARE(a.proceed, proceed);
        QCOMPARE(a.hasToken, hasToken);
        QCOMPARE(a.token, token);
        QCOMPARE(a.left, left);
        QCOMPARE(a.top, top);
    }

    // The process's own argument list: any program name works, and "Quorvane.exe" keeps its rule.
    void fromArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("proceed");
        QTest::addColumn<bool>("hasToken");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        const QStringList start{QStringLiteral("/start"), QStringLiteral("tok"), QStringLiteral("100"),
                                QStringLiteral("50")};
        QTest::newRow("installed name")
            << (QStringList{QStringLiteral("/usr/bin/quorvane")} + start) << true << true << 100 << 50;
        QTest::newRow("short name") << (QStringList{QStringLiteral("qv")} + start) << true << true << 100 << 50;
        QTest::newRow("toolbar name") << (QStringList{QStringLiteral("/opt/q/Quorvane.exe")} + start) << true
                                      << true << 100 << 50;
        QTest::newRow("toolbar name in a folder with blanks")
            << (QStringList{QStringLiteral("/opt/my q/Quorvane.exe")} + start) << true << true << 100 << 50;
        QTest::newRow("installed name, three values")
            << QStringList{QStringLiteral("/usr/bin/quorvane"), QStringLiteral("/start"), QStringLiteral("t"),
                           QStringLiteral("1")}
            << false << false << 200 << 200;
        QTest::newRow("installed name, no arguments")
            << QStringList{QStringLiteral("/usr/bin/quorvane")} << false << false << 200 << 200;
        QTest::newRow("installed name, too long")
            << (QStringList{QStringLiteral("/usr/bin/quorvane"), QStringLiteral("/start"), QString(250, u'a'),
                            QStringLiteral("1"), QStringLiteral("2")})
            << false << false << 200 << 200;
        QTest::newRow("installed name, blank arguments")
            << QStringList{QStringLiteral("/usr/bin/quorvane"), QStringLiteral(" "), QStringLiteral("")} << false
            << false << 200 << 200;
    }
    void fromArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, proceed);
        QFETCH(bool, hasToken);
        QFETCH(int, left);
        QFETCH(int, top);
        const LaunchArguments a = ParseLaunchArguments(arguments);
        QCOMPARE(a.proceed, proceed);
        QCOMPARE(a.hasToken, hasToken);
        QCOMPARE(a.left, left);
        QCOMPARE(a.top, top);
        if (hasToken)
            QCOMPARE(a.token, QStringLiteral("tok"));
    }

    // What file managers pass: paths as they are (blanks, Korean names), file:// URIs decoded; the
    // toolbar's line and anything that is not a local file keep the start-up rules.
    void sentFiles_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("files");
        const QString program = QStringLiteral("/usr/bin/quorvane");
        QTest::newRow("paths with blanks")
            << QStringList{program, QStringLiteral("/home/u/회의 자료.txt"), QStringLiteral("/tmp/b c")}
            << QStringList{QStringLiteral("/home/u/회의 자료.txt"), QStringLiteral("/tmp/b c")};
        QTest::newRow("file uris") << QStringList{program,
                                                  QStringLiteral("file:///home/u/%ED%9A%8C%EC%9D%98%20a%231.txt")}
                                   << QStringList{QStringLiteral("/home/u/회의 a#1.txt")};
        QTest::newRow("toolbar name") << QStringList{QStringLiteral("/x/Quorvane.exe"), QStringLiteral("/tmp/a")}
                                      << QStringList{QStringLiteral("/tmp/a")};
        QTest::newRow("start line") << QStringList{program, QStringLiteral("/start"), QStringLiteral("t"),
                                                   QStringLiteral("1"), QStringLiteral("2")}
                                    << QStringList();
        QTest::newRow("start in capitals")
            << QStringList{program, QStringLiteral("/START"), QStringLiteral("/tmp/a")} << QStringList();
        QTest::newRow("no arguments") << QStringList{program} << QStringList();
        QTest::newRow("other word") << QStringList{program, QStringLiteral("hello-no-such-file")} << QStringList();
        QTest::newRow("one argument is not a file")
            << QStringList{program, QStringLiteral("/tmp/a"), QStringLiteral("hello-no-such-file")}
            << QStringList();
        QTest::newRow("remote uri") << QStringList{program, QStringLiteral("file://elsewhere/tmp/a")}
                                    << QStringList();
        QTest::newRow("other scheme") << QStringList{program, QStringLiteral("sftp://host/tmp/a")}
                                      << QStringList();
        QTest::newRow("dots cleaned") << QStringList{program, QStringLiteral("/tmp/x/../a")}
                                      << QStringList{QStringLiteral("/tmp/a")};
    }
    void sentFiles() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, files);
        QCOMPARE(SentFiles(arguments), files);
    }

    void leadingInt_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << QStringLiteral("42") << 42;
        QTest::newRow("blanks first") << QStringLiteral(" \t 42") << 42;
        QTest::newRow("minus") << QStringLiteral("-42") << -42;
        QTest::newRow("plus") << QStringLiteral("+42") << 42;
        QTest::newRow("no digits") << QStringLiteral("abc") << 0;
        QTest::newRow("sign only") << QStringLiteral("-") << 0;
        QTest::newRow("stops at non-digit") << QStringLiteral("12x3") << 12;
        QTest::newRow("overflow clamps") << QStringLiteral("99999999999") << 2147483647;
        QTest::newRow("underflow clamps") << QStringLiteral("-99999999999") << int(-2147483647 - 1);
    }
    void leadingInt() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(ParseLeadingInt(text), value);
    }
};

QTEST_GUILESS_MAIN(LaunchArgumentsTest)
#include "tst_launch_arguments.moc"
