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
        QCOMPARE(image.pixel(0, 0), Skin::kTransparentKey); // rounded corner cut away
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
        QCOMPARE(normal.pixel(0, 0), Skin::kTransparentKey); // rounded
        QVERIFY(normal.pixel(w / 2, image.height() / 2) != Skin::kTransparentKey);
    }
    // The 2x drawing: twice the size, finer than the 1x bitmap blown up, and cut to exactly its shape,
    // so masks and regions from the 1x bitmap fit it with no key colour inside and no gap at the edge.
    void doubleArt_data() {
        QTest::addColumn<int>("id");
        for (int id : {int(SkinIds::MainBackground), int(SkinIds::CloseButton), int(SkinIds::MinimizeButton),
                       int(SkinIds::TopMostOff), int(SkinIds::TopMostOn), int(SkinIds::UploadButton),
                       int(SkinIds::DownloadButton), int(SkinIds::DeleteButton), 177})
            QTest::newRow(qPrintable(QString::number(id))) << id;
    }
    void doubleArt() {
        QFETCH(int, id);
        const QImage lo = Skin::LoadImage(id);
        const QImage hi = QImage(QStringLiteral(":/skin/%1@2x.png").arg(id)).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(hi.size(), lo.size() * 2);
        int differing = 0;
        for (int y = 0; y < hi.height(); ++y) {
            for (int x = 0; x < hi.width(); ++x) {
                const bool loKey = lo.pixel(x / 2, y / 2) == Skin::kTransparentKey;
                const bool hiKey = hi.pixel(x, y) == Skin::kTransparentKey;
                QVERIFY2(loKey == hiKey, qPrintable(QStringLiteral("shape differs at %1,%2").arg(x).arg(y)));
                if (!hiKey && hi.pixel(x, y) != lo.pixel(x / 2, y / 2))
                    ++differing;
            }
        }
        QVERIFY2(differing > hi.width(), qPrintable(QString::number(differing))); // more than upscaled pixels
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
