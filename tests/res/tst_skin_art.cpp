#include "res/Skin.h"
#include "res/SkinIds.h"

#include <QGuiApplication>
#include <QTest>

class TestSkinArt : public QObject {
    Q_OBJECT
private slots:
    void mainBackground() {
        const QImage image = Skin::LoadImage(SkinIds::MainBackground);
        QCOMPARE(image.size(), QSize(276, 290));
        QCOMPARE(image.pixel(0, 0), Skin::kTransparentKey);  // rounded corner cut away
        QVERIFY(image.pixel(138, 145) != Skin::kTransparentKey);
        QVERIFY(image.pixel(138, 1) != Skin::kTransparentKey);
    }
    void buttonStrips_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QSize>("stateSize");
        QTest::newRow("close") << int(SkinIds::CloseButton) << QSize(16, 17);
        QTest::newRow("minimize") << int(SkinIds::MinimizeButton) << QSize(16, 17);
        QTest::newRow("top off") << int(SkinIds::TopMostOff) << QSize(16, 17);
        QTest::newRow("top on") << int(SkinIds::TopMostOn) << QSize(16, 17);
        QTest::newRow("upload") << int(SkinIds::UploadButton) << QSize(61, 20);
        QTest::newRow("download") << int(SkinIds::DownloadButton) << QSize(70, 20);
        QTest::newRow("delete") << int(SkinIds::DeleteButton) << QSize(44, 20);
    }
    void buttonStrips() {
        QFETCH(int, id);
        QFETCH(QSize, stateSize);
        const QImage image = Skin::LoadImage(id);
        QCOMPARE(image.size(), QSize(stateSize.width() * 3, stateSize.height()));
        const int w = stateSize.width();
        const QImage normal = image.copy(0, 0, w, image.height());
        const QImage hover = image.copy(w, 0, w, image.height());
        const QImage pressed = image.copy(2 * w, 0, w, image.height());
        QVERIFY(normal != hover);
        QVERIFY(hover != pressed);
        QVERIFY(normal != pressed);
        QCOMPARE(normal.pixel(0, 0), Skin::kTransparentKey);  // rounded
        QVERIFY(normal.pixel(w / 2, image.height() / 2) != Skin::kTransparentKey);
    }
    void icons() {
        QVERIFY(!Skin::LoadImage(SkinIds::AppIcon).isNull());
        QCOMPARE(Skin::LoadImage(SkinIds::ReplaceIcon).size(), QSize(32, 32));
        QVERIFY(!Skin::AppIcon().pixmap(48).isNull());
        QVERIFY(!Skin::FallbackFileIcon().pixmap(16).isNull());
        QVERIFY(Skin::LoadImage(4242).isNull());
    }
};

QTEST_MAIN(TestSkinArt)
#include "tst_skin_art.moc"
