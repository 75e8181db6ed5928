// The user's install from this build tree: exactly the program, its start name, the desktop entry, the
// theme icons and the AppStream metadata, each valid; no stand-in.
#include "tests/install/InstallCheck.h"

#include <QTemporaryDir>
#include <QTest>

using namespace InstallCheck;

namespace {
QStringList ExpectedManifest() {
    QStringList files{QStringLiteral("usr/bin/Quorvane.exe"),
                      QStringLiteral("usr/bin/quorvane"),
                      QStringLiteral("usr/share/applications/") + kAppId + QStringLiteral(".desktop"),
                      QStringLiteral("usr/share/doc/quorvane/copyright"),
                      QStringLiteral("usr/share/file-manager/actions/") + kAppId +
                          QStringLiteral(".sendto.desktop"),
                      QStringLiteral("usr/share/kio/servicemenus/") + kAppId + QStringLiteral(".sendto.desktop"),
                      QStringLiteral("usr/share/nemo/actions/") + kAppId + QStringLiteral(".sendto.nemo_action"),
                      QStringLiteral("usr/share/Thunar/sendto/") + kAppId + QStringLiteral(".desktop"),
                      QStringLiteral("usr/share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml")};
    for (int n : kIconSizes)
        files << QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/%2.png").arg(n).arg(kAppId);
    files.sort();
    return files;
}
} // namespace

class TestInstallTree : public QObject {
    Q_OBJECT

    QTemporaryDir m_scratch;
    QString m_root; // DESTDIR of the component install

    // cmake --install into DESTDIR=dest with prefix /usr; an empty component installs the default set.
    Run install(const QString& dest, const QString& component) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), dest);
        QStringList args{QStringLiteral("--install"), qEnvironmentVariable("QUORVANE_BINARY_DIR"),
                         QStringLiteral("--prefix"), QStringLiteral("/usr")};
        if (!component.isEmpty())
            args << QStringLiteral("--component") << component;
        return RunTool(qEnvironmentVariable("QUORVANE_CMAKE_COMMAND"), args, env);
    }
    QString installed(const QString& relative) const { return m_root + QStringLiteral("/usr/") + relative; }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_scratch.isValid());
        QVERIFY(!qEnvironmentVariableIsEmpty("QUORVANE_CMAKE_COMMAND"));
        m_root = m_scratch.filePath(QStringLiteral("quorvane"));
        const Run r = install(m_root, QStringLiteral("quorvane"));
        QVERIFY2(r.exitCode == 0, qPrintable(Describe(r)));
    }

    void manifest_data() {
        QTest::addColumn<QString>("component");
        QTest::newRow("quorvane component") << QStringLiteral("quorvane");
        QTest::newRow("default install") << QString();
    }
    void manifest() {
        QFETCH(QString, component);
        QString root = m_root;
        if (component.isEmpty()) {
            root = m_scratch.filePath(QStringLiteral("default"));
            const Run r = install(root, component);
            QVERIFY2(r.exitCode == 0, qPrintable(Describe(r)));
        }
        const QStringList files = ListTree(root);
        for (const QString& f : files) {
            for (const QString& s : kStandins)
                QVERIFY2(!f.contains(s), qPrintable(f));
        }
        QCOMPARE(files, ExpectedManifest());
    }

    // The stand-ins have an install of their own for whoever wants them, apart from the user's.
    void standinsApart() {
        const QString root = m_scratch.filePath(QStringLiteral("standins"));
        const Run r = install(root, QStringLiteral("standins"));
        QVERIFY2(r.exitCode == 0, qPrintable(Describe(r)));
        const QStringList files = ListTree(root);
        QVERIFY2(!files.isEmpty(), "the stand-ins install nothing");
        for (const QString& f : files)
            QVERIFY2(f.startsWith(QLatin1String("usr/libexec/quorvane-standins/")), qPrintable(f));
    }

    void startName() {
        const QFileInfo link(installed(QStringLiteral("bin/Quorvane.exe")));
        QVERIFY(link.isSymLink());
        QCOMPARE(QFile::symLinkTarget(link.filePath()), link.absolutePath() + QStringLiteral("/quorvane"));
        // Relative, so the install can move (DESTDIR, package extraction).
        QCOMPARE(QString::fromUtf8(RunTool(QStringLiteral("readlink"), {link.filePath()}).out.trimmed()),
                 QStringLiteral("quorvane"));
        const QFileInfo program(installed(QStringLiteral("bin/quorvane")));
        QVERIFY(program.isExecutable());
        QVERIFY(!program.isSymLink());
    }

    void noBuildTreeRunPath() {
        const QStringList paths = RunPaths(installed(QStringLiteral("bin/quorvane")));
        QVERIFY2(paths.isEmpty(), qPrintable(paths.join(u'\n')));
    }

    void iconSizes_data() {
        QTest::addColumn<int>("size");
        for (int n : kIconSizes)
            QTest::addRow("%dpx", n) << n;
    }
    void iconSizes() {
        QFETCH(int, size);
        const PngHeader h = ReadPngHeader(
            installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId)));
        QCOMPARE(h.size, QSize(size, size));
        QCOMPARE(h.colourType, 6); // the rounded corners stay transparent, no key colour
    }

    void desktopEntry_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("type") << QStringLiteral("Type") << QStringLiteral("Application");
        QTest::newRow("name") << QStringLiteral("Name") << QStringLiteral("Cloffa");
        QTest::newRow("korean name") << QStringLiteral("Name[ko]") << QStringLiteral("Cloffa");
        // "Open With" of the file managers hands the chosen files over.
        QTest::newRow("exec") << QStringLiteral("Exec") << QStringLiteral("quorvane %F");
        QTest::newRow("no file's default opener") << QStringLiteral("MimeType") << QString();
        QTest::newRow("icon") << QStringLiteral("Icon") << kAppId;
        QTest::newRow("hidden from menus") << QStringLiteral("NoDisplay") << QStringLiteral("true");
        QTest::newRow("categories") << QStringLiteral("Categories") << QStringLiteral("Network;FileTransfer;");
        // X11 window class of the started program: Qt takes it from the name it was started under.
        QTest::newRow("window class") << QStringLiteral("StartupWMClass") << QStringLiteral("Quorvane.exe");
    }
    void desktopEntry() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const auto keys = ReadDesktopEntry(
            installed(QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop")));
        QCOMPARE(keys.value(key), value);
    }

    // Each file manager's menu entry runs the installed program with the selected files as paths.
    void sendToEntries_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QString dolphin =
            QStringLiteral("share/kio/servicemenus/") + kAppId + QStringLiteral(".sendto.desktop");
        const QString thunar = QStringLiteral("share/Thunar/sendto/") + kAppId + QStringLiteral(".desktop");
        const QString nemo =
            QStringLiteral("share/nemo/actions/") + kAppId + QStringLiteral(".sendto.nemo_action");
        const QString entry = QStringLiteral("Desktop Entry");
        const QString action = QStringLiteral("Desktop Action sendToCloffa");
        const QString nemoGroup = QStringLiteral("Nemo Action");
        const QString actions =
            QStringLiteral("share/file-manager/actions/") + kAppId + QStringLiteral(".sendto.desktop");
        const QString profile = QStringLiteral("X-Action-Profile files");
        QTest::newRow("dolphin: a service menu")
            << dolphin << entry << QStringLiteral("X-KDE-ServiceTypes") << QStringLiteral("KonqPopupMenu/Plugin");
        QTest::newRow("dolphin: for files")
            << dolphin << entry << QStringLiteral("MimeType") << QStringLiteral("all/allfiles;");
        QTest::newRow("dolphin: its action")
            << dolphin << entry << QStringLiteral("Actions") << QStringLiteral("sendToCloffa;");
        QTest::newRow("dolphin: exec") << dolphin << action << QStringLiteral("Exec")
                                       << QStringLiteral("quorvane %F");
        QTest::newRow("dolphin: korean name")
            << dolphin << action << QStringLiteral("Name[ko]") << QStringLiteral("Cloffa로 보내기");
        QTest::newRow("thunar: exec") << thunar << entry << QStringLiteral("Exec")
                                      << QStringLiteral("quorvane %F");
        QTest::newRow("thunar: name") << thunar << entry << QStringLiteral("Name") << QStringLiteral("Cloffa");
        QTest::newRow("thunar: icon") << thunar << entry << QStringLiteral("Icon") << kAppId;
        QTest::newRow("nemo: exec") << nemo << nemoGroup << QStringLiteral("Exec")
                                    << QStringLiteral("quorvane %F");
        // Nemo puts the paths in the line as they are; quoted, blanks stay inside one argument.
        QTest::newRow("nemo: quoted paths")
            << nemo << nemoGroup << QStringLiteral("Quote") << QStringLiteral("double");
        QTest::newRow("nemo: files, not folders")
            << nemo << nemoGroup << QStringLiteral("Extensions") << QStringLiteral("nodirs;");
        QTest::newRow("nemo: a selection")
            << nemo << nemoGroup << QStringLiteral("Selection") << QStringLiteral("notnone");
        QTest::newRow("nemo: korean name")
            << nemo << nemoGroup << QStringLiteral("Name[ko]") << QStringLiteral("Cloffa로 보내기");
        QTest::newRow("pcmanfm, caja: an action")
            << actions << entry << QStringLiteral("Type") << QStringLiteral("Action");
        QTest::newRow("pcmanfm, caja: its profile")
            << actions << entry << QStringLiteral("Profiles") << QStringLiteral("files;");
        QTest::newRow("pcmanfm, caja: exec")
            << actions << profile << QStringLiteral("Exec") << QStringLiteral("quorvane %F");
        QTest::newRow("pcmanfm, caja: a selection")
            << actions << profile << QStringLiteral("SelectionCount") << QStringLiteral(">0");
        QTest::newRow("pcmanfm, caja: korean name")
            << actions << entry << QStringLiteral("Name[ko]") << QStringLiteral("Cloffa로 보내기");
    }
    void sendToEntries() {
        QFETCH(QString, file);
        QFETCH(QString, group);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(ReadDesktopEntry(installed(file), group).value(key), value);
    }

    // Dolphin reads service menus outside the system's folders only when they may be executed.
    void serviceMenuExecutable() {
        QVERIFY(QFileInfo(installed(QStringLiteral("share/kio/servicemenus/") + kAppId +
                                    QStringLiteral(".sendto.desktop")))
                    .isExecutable());
    }

    void desktopEntryComments() {
        const auto keys = ReadDesktopEntry(
            installed(QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop")));
        QVERIFY(!keys.value(QStringLiteral("Comment")).isEmpty());
        QVERIFY(keys.value(QStringLiteral("Comment[ko]")).contains(QStringLiteral("파일")));
    }

    void metainfoRelease() {
        QFile f(installed(QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray xml = f.readAll();
        QVERIFY(xml.contains("<release version=\"" QUORVANE_VERSION "\""));
        QVERIFY(xml.contains("<id>org.brellow.Quorvane</id>"));
        QVERIFY(!xml.contains('@')); // every placeholder was filled
    }

    void validators_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("desktop entry") << QStringLiteral("desktop-file-validate")
                                       << QStringList{installed(QStringLiteral("share/applications/") + kAppId +
                                                                QStringLiteral(".desktop"))};
        QTest::newRow("thunar send to") << QStringLiteral("desktop-file-validate")
                                        << QStringList{installed(QStringLiteral("share/Thunar/sendto/") + kAppId +
                                                                 QStringLiteral(".desktop"))};
        QTest::newRow("metainfo") << QStringLiteral("appstreamcli")
                                  << QStringList{QStringLiteral("validate"), QStringLiteral("--no-net"),
                                                 installed(QStringLiteral("share/metainfo/") + kAppId +
                                                           QStringLiteral(".metainfo.xml"))};
        // The whole tree: the metainfo's launchable must name the installed desktop entry.
        QTest::newRow("tree") << QStringLiteral("appstreamcli")
                              << QStringList{QStringLiteral("validate-tree"), QStringLiteral("--no-net"), m_root};
    }
    void validators() {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        const Run r = RunTool(program, args);
        QVERIFY2(r.exitCode == 0, qPrintable(Describe(r)));
        // desktop-file-validate reports hints and errors on stdout without failing on hints.
        if (program == QLatin1String("desktop-file-validate"))
            QVERIFY2(r.out.trimmed().isEmpty(), r.out.constData());
    }
};

QTEST_GUILESS_MAIN(TestInstallTree)
#include "tst_install_tree.moc"
