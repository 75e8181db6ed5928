// The display platform chosen for each kind of session.
#include "app/platform/DisplayPlatform.h"

#include <QTest>

class DisplayPlatformTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void preferX11_data() {
        QTest::addColumn<QByteArray>("qpa");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<bool>("x11");
        QTest::newRow("X11 session") << QByteArray() << QByteArray() << QByteArray(":0") << QByteArray("x11")
                                     << false;
        QTest::newRow("Wayland with XWayland")
            << QByteArray() << QByteArray("wayland-0") << QByteArray(":0") << QByteArray("wayland") << true;
        QTest::newRow("Wayland socket, no session type")
            << QByteArray() << QByteArray("wayland-1") << QByteArray(":1") << QByteArray() << true;
        QTest::newRow("Wayland without X11")
            << QByteArray() << QByteArray("wayland-0") << QByteArray() << QByteArray("wayland") << false;
        QTest::newRow("the user chose Wayland") << QByteArray("wayland") << QByteArray("wayland-0")
                                                << QByteArray(":0") << QByteArray("wayland") << false;
        QTest::newRow("the user chose offscreen") << QByteArray("offscreen") << QByteArray("wayland-0")
                                                  << QByteArray(":0") << QByteArray("wayland") << false;
    }
    void preferX11() {
        QFETCH(QByteArray, qpa);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, session);
        QFETCH(bool, x11);
        QCOMPARE(DisplayPlatform::PreferX11(qpa, wayland, display, session), x11);
    }

    void argumentsCarryTheChoice() {
        qunsetenv("QT_QPA_PLATFORM");
        qputenv("WAYLAND_DISPLAY", "wayland-0");
        qputenv("DISPLAY", ":0");
        const QList<QByteArray> start{"quorvane", "/start", "t", "1", "2"};
        const QList<QByteArray> withX11 = start + QList<QByteArray>{"-platform", "xcb"};
        QCOMPARE(DisplayPlatform::ApplicationArguments(start), withX11);
        // A -platform of the user's own is left alone.
        const QList<QByteArray> own{"quorvane", "-platform", "wayland", "/start", "t", "1", "2"};
        QCOMPARE(DisplayPlatform::ApplicationArguments(own), own);
        qunsetenv("WAYLAND_DISPLAY");
        QCOMPARE(DisplayPlatform::ApplicationArguments(start), start);
    }
};

QTEST_GUILESS_MAIN(DisplayPlatformTest)
#include "tst_display_platform.moc"
