// The Debian package made by CPack from this build tree: its fields and dependencies, its contents, and
// the extracted program reaching its window when the toolbar stand-in starts it.
#include "tests/common/RunningClient.h"
#include "tests/install/InstallCheck.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace InstallCheck;

class TestPackage : public QObject {
    Q_OBJECT

    QTemporaryDir m_scratch;
    QString m_deb;
    QString m_root; // where the package was extracted
    QMap<QString, QString> m_fields;

    static QString built(const QString& relative) {
        return qEnvironmentVariable("QUORVANE_BINARY_DIR") + u'/' + relative;
    }

    // Starts a helper and waits for the line it prints once it is ready; empty on failure.
    static QString startHelper(QProcess& p, const QString& program, const QStringList& args,
                               const QByteArray& ready) {
        p.start(program, args);
        QByteArray out;
        while (p.waitForReadyRead(10000)) {
            out += p.readAllStandardOutput();
            const qsizetype at = out.indexOf(ready);
            if (at >= 0) {
                const qsizetype end = out.indexOf('\n', at);
                if (end >= 0)
                    return QString::fromUtf8(out.mid(at, end - at));
            }
        }
        return {};
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_scratch.isValid());
        const QString cpack = qEnvironmentVariable("QUORVANE_CPACK_COMMAND");
        QVERIFY(!cpack.isEmpty());
        const QString out = m_scratch.filePath(QStringLiteral("package"));
        const Run r = RunTool(cpack,
                              {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                               built(QStringLiteral("CPackConfig.cmake")), QStringLiteral("-B"), out},
                              QProcessEnvironment::systemEnvironment(), 120000);
        QVERIFY2(r.exitCode == 0, qPrintable(Describe(r)));
        const QString arch = QString::fromUtf8(
            RunTool(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).out.trimmed());
        m_deb = out + QStringLiteral("/quorvane_" QUORVANE_VERSION "_") + arch + QStringLiteral(".deb");
        QVERIFY2(QFileInfo::exists(m_deb), qPrintable(m_deb + u'\n' + Describe(r)));

        const Run fields = RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb});
        QVERIFY2(fields.exitCode == 0, qPrintable(Describe(fields)));
        QString key;
        for (const QByteArray& raw : fields.out.split('\n')) {
            const QString line = QString::fromUtf8(raw);
            if (line.startsWith(u' ') && !key.isEmpty())
                m_fields[key] += u'\n' + line.trimmed();
            else if (line.contains(u':'))
                m_fields.insert(key = line.section(u':', 0, 0), line.section(u':', 1).trimmed());
        }

        m_root = m_scratch.filePath(QStringLiteral("root"));
        const Run x = RunTool(QStringLiteral("dpkg"), {QStringLiteral("-x"), m_deb, m_root});
        QVERIFY2(x.exitCode == 0, qPrintable(Describe(x)));
    }

    void fields_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("name") << QStringLiteral("Package") << QStringLiteral("^quorvane$");
        QTest::newRow("version") << QStringLiteral("Version") << QStringLiteral("^" QUORVANE_VERSION "$");
        QTest::newRow("section") << QStringLiteral("Section") << QStringLiteral("^net$");
        QTest::newRow("maintainer") << QStringLiteral("Maintainer") << QStringLiteral("^.+ <.+@.+>$");
        QTest::newRow("homepage") << QStringLiteral("Homepage") << QStringLiteral("^https://");
        QTest::newRow("description") << QStringLiteral("Description")
                                     << QStringLiteral(
                                            "^Korean desktop client for the Cloffa online file store\n.+");
        QTest::newRow("Qt core") << QStringLiteral("Depends") << QStringLiteral("\\blibqt6core6\\b");
        QTest::newRow("Qt gui") << QStringLiteral("Depends") << QStringLiteral("\\blibqt6gui6\\b");
        QTest::newRow("Qt widgets") << QStringLiteral("Depends") << QStringLiteral("\\blibqt6widgets6\\b");
        QTest::newRow("Qt D-Bus") << QStringLiteral("Depends") << QStringLiteral("\\blibqt6dbus6\\b");
        QTest::newRow("libcurl") << QStringLiteral("Depends") << QStringLiteral("\\blibcurl4\\b");
        QTest::newRow("OpenSSL") << QStringLiteral("Depends") << QStringLiteral("\\blibssl3\\b");
        QTest::newRow("gSOAP") << QStringLiteral("Depends") << QStringLiteral("\\blibgsoap-2\\.8");
        QTest::newRow("C++ runtime") << QStringLiteral("Depends") << QStringLiteral("\\blibstdc\\+\\+6\\b");
        QTest::newRow("folder opener") << QStringLiteral("Depends") << QStringLiteral("\\bxdg-utils\\b");
        QTest::newRow("Korean font") << QStringLiteral("Recommends") << QStringLiteral("\\bfonts-nanum\\b");
        QTest::newRow("Wayland platform") << QStringLiteral("Recommends") << QStringLiteral("\\bqt6-wayland\\b");
    }
    void fields() {
        QFETCH(QString, field);
        QFETCH(QString, pattern);
        const QString value = m_fields.value(field);
        QVERIFY2(
            QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption).match(value).hasMatch(),
            qPrintable(field + QStringLiteral(": ") + value));
    }

    // What only tests link must not become a dependency of the user's program.
    void noTestDependencies() {
        const QString depends = m_fields.value(QStringLiteral("Depends"));
        QVERIFY2(!depends.contains(QLatin1String("libqt6test")), qPrintable(depends));
    }

    void contents() {
        const Run r = RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), m_deb});
        QVERIFY2(r.exitCode == 0, qPrintable(Describe(r)));
        const QString listing = QString::fromUtf8(r.out);
        for (const QString& s : kStandins)
            QVERIFY2(!listing.contains(s), qPrintable(s + u'\n' + listing));
        QVERIFY2(listing.contains(QLatin1String("./usr/bin/Quorvane.exe -> quorvane")), qPrintable(listing));
        for (const char* path : {"./usr/bin/quorvane\n", "./usr/share/applications/org.brellow.Quorvane.desktop\n",
                                 "./usr/share/metainfo/org.brellow.Quorvane.metainfo.xml\n",
                                 "./usr/share/Thunar/sendto/org.brellow.Quorvane.desktop\n",
                                 "./usr/share/kio/servicemenus/org.brellow.Quorvane.sendto.desktop\n",
                                 "./usr/share/nemo/actions/org.brellow.Quorvane.sendto.nemo_action\n",
                                 "./usr/share/file-manager/actions/org.brellow.Quorvane.sendto.desktop\n",
                                 "./usr/share/icons/hicolor/256x256/apps/org.brellow.Quorvane.png\n"})
            QVERIFY2(listing.contains(QLatin1String(path)), path);
    }

    // The extracted program needs only system libraries: no run path, nothing resolved from the build tree.
    void systemLibrariesOnly() {
        const QString program = m_root + QStringLiteral("/usr/bin/quorvane");
        const QStringList paths = RunPaths(program);
        QVERIFY2(paths.isEmpty(), qPrintable(paths.join(u'\n')));
        const Run ldd = RunTool(QStringLiteral("ldd"), {program});
        QVERIFY2(ldd.exitCode == 0, qPrintable(Describe(ldd)));
        QVERIFY2(!ldd.out.contains("not found"), ldd.out.constData());
        QVERIFY2(!ldd.out.contains(qEnvironmentVariable("QUORVANE_BINARY_DIR").toUtf8()), ldd.out.constData());
    }

    void reachesWindowThroughToolbar() {
        // The local service, as in a real start: the window checks the version and lists, then the
        // toolbar's logout ends it.
        QProcess service;
        const QString ready = startHelper(service, built(QStringLiteral("tools/cloffa-service/cloffa-service")),
                                          {QStringLiteral("--store"), m_scratch.filePath(QStringLiteral("store")),
                                           QStringLiteral("--user"), QStringLiteral("tester01"),
                                           QStringLiteral("--session-key"), QStringLiteral("SK-1")},
                                          "ready ");
        QVERIFY2(!ready.isEmpty(), service.readAllStandardError().constData());
        QProcess toolbar;
        const QString serving =
            startHelper(toolbar, built(QStringLiteral("tools/tavirun/tavirun")),
                        {QStringLiteral("serve"), QStringLiteral("--user"), QStringLiteral("tester01"),
                         QStringLiteral("--session-key"), QStringLiteral("SK-1"), QStringLiteral("--exit-after"),
                         QStringLiteral("60")},
                        "serving");
        QVERIFY2(!serving.isEmpty(), toolbar.readAllStandardError().constData());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CLOFFA_SERVICE_URL"), ready.section(u' ', 1, 1));
        env.insert(QStringLiteral("CLOFFA_CA_FILE"), ready.section(QStringLiteral(" ca="), 1));
        env.insert(QStringLiteral("HOME"), m_scratch.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_scratch.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_scratch.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        RunningClient::EnableInfoLines(env);
        RunningClient client;
        QVERIFY(client.Start(built(QStringLiteral("tools/tavirun/tavirun")),
                             {QStringLiteral("launch"), QStringLiteral("--left"), QStringLiteral("30"),
                              QStringLiteral("--top"), QStringLiteral("40"), QStringLiteral("--"),
                              m_root + QStringLiteral("/usr/bin/Quorvane.exe")},
                             env));
        const bool listed = client.WaitForErr(QStringLiteral("soap GetUserFiles status=200 error=0"), 30000);
        const bool ended = client.Logout(built(QStringLiteral("tools/tavirun/tavirun")), env);
        service.terminate();
        toolbar.kill();
        service.waitForFinished();
        toolbar.waitForFinished();
        QVERIFY2(listed, qPrintable(client.Err()));
        QVERIFY(ended);
        QCOMPARE(client.ExitCode(), 0);
        QVERIFY2(client.Err().contains(QStringLiteral("main window at 30,40")), qPrintable(client.Err()));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
