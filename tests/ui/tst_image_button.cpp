#include "res/SkinIds.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CImageButtonEx.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QTest>

namespace {
const QRgb kKey = qRgb(255, 0, 255);
const QRgb kStateColour[3] = {qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 200)};

// Three 10 x 8 states in solid colours, each with its left column and top-left 2 x 2 block transparent.
QImage Strip(int shift = 0) {
    QImage image(30, 8, QImage::Format_RGB32);
    for (int s = 0; s < 3; ++s) {
        QPainter p(&image);
        p.fillRect(s * 10, 0, 10, 8, QColor::fromRgb(kStateColour[(s + shift) % 3]));
        p.fillRect(s * 10, 0, 1, 8, QColor::fromRgb(kKey));
        p.fillRect(s * 10, 0, 2, 2, QColor::fromRgb(kKey));
    }
    return image;
}

QRgb CentreOf(QWidget& w) {
    return w.grab().toImage().pixel(5, 4);
}
} // namespace

class TestImageButton : public QObject {
    Q_OBJECT
private slots:
    void sizeFromOneThird() {
        QWidget parent;
        CImageButton button(&parent);
        button.move(7, 9);
        QVERIFY(button.LoadBitmap(Strip(), true));
        QCOMPARE(button.geometry(), QRect(7, 9, 10, 8));
        QVERIFY(!button.LoadBitmap(QImage(), true));
        QVERIFY(!button.LoadBitmap(4242, true));
    }
    void regionExcludesKeyPixels() {
        CImageButton button;
        QVERIFY(button.LoadBitmap(Strip(), true));
        const QRegion region = button.ButtonRegion();
        QVERIFY(!region.contains(QPoint(0, 5)));
        QVERIFY(!region.contains(QPoint(1, 1)));
        QVERIFY(region.contains(QPoint(1, 2)));
        QVERIFY(region.contains(QPoint(9, 7)));
        QVERIFY(!region.contains(QPoint(10, 4))); // only the first third
        int pixels = 0;
        for (const QRect& r : region)
            pixels += r.width() * r.height();
        QCOMPARE(pixels, 10 * 8 - 8 - 2);
        QCOMPARE(button.mask(), region);
    }
    void regionOfSkinButton() {
        CImageButton button;
        QVERIFY(button.LoadBitmap(SkinIds::UploadButton, true));
        QVERIFY(!button.ButtonRegion().contains(QPoint(0, 0)));
        QVERIFY(button.ButtonRegion().contains(QPoint(button.width() / 2, button.height() / 2)));
    }
    void stateImages_data() {
        QTest::addColumn<QString>("events");
        QTest::addColumn<int>("state");
        QTest::newRow("normal") << QString() << 0;
        QTest::newRow("hover") << QStringLiteral("enter") << 1;
        QTest::newRow("hover then leave") << QStringLiteral("enter leave") << 0;
        QTest::newRow("pressed") << QStringLiteral("down") << 2;
        QTest::newRow("pressed wins over hover") << QStringLiteral("enter down") << 2;
        QTest::newRow("disabled shows normal") << QStringLiteral("enter down disable") << 0;
        QTest::newRow("released back to hover") << QStringLiteral("enter down up") << 1;
    }
    void stateImages() {
        QFETCH(QString, events);
        QFETCH(int, state);
        CImageButton button;
        QVERIFY(button.LoadBitmap(Strip(), false));
        for (const QString& e : events.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (e == QLatin1String("enter")) {
                QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
                QApplication::sendEvent(&button, &enter);
            } else if (e == QLatin1String("leave")) {
                QEvent leave(QEvent::Leave);
                QApplication::sendEvent(&button, &leave);
            } else if (e == QLatin1String("down")) {
                button.setDown(true);
            } else if (e == QLatin1String("up")) {
                button.setDown(false);
            } else if (e == QLatin1String("disable")) {
                button.setEnabled(false);
            }
        }
        QCOMPARE(int(button.CurrentState()), state);
        QCOMPARE(CentreOf(button), kStateColour[state]);
    }
    void keyColourNotDrawn() {
        QWidget parent;
        parent.setFixedSize(20, 20);
        parent.setAutoFillBackground(true);
        QPalette pal;
        pal.setColor(QPalette::Window, QColor(10, 20, 30));
        parent.setPalette(pal);
        CImageButton button(&parent);
        QVERIFY(button.LoadBitmap(Strip(), false)); // no region: the pixmap mask alone hides the key
        const QImage shot = parent.grab().toImage();
        QCOMPARE(shot.pixel(0, 4), qRgb(10, 20, 30));
        QCOMPARE(shot.pixel(5, 4), kStateColour[0]);
    }
    void exSwapsBitmaps() {
        CImageButtonEx button;
        QVERIFY(button.LoadBitmaps(Strip(0), Strip(1)));
        QCOMPARE(CentreOf(button), kStateColour[0]);
        button.ShowSecond(true);
        QVERIFY(button.IsSecondShown());
        QCOMPARE(CentreOf(button), kStateColour[1]);
        button.ShowSecond(false);
        QCOMPARE(CentreOf(button), kStateColour[0]);
        QVERIFY(!button.LoadBitmaps(Strip(), QImage()));
    }
    void exLoadsSkinIds() {
        CImageButtonEx button;
        QVERIFY(button.LoadBitmaps(SkinIds::TopMostOff, SkinIds::TopMostOn));
        QCOMPARE(button.FirstId(), int(SkinIds::TopMostOff));
        QCOMPARE(button.SecondId(), int(SkinIds::TopMostOn));
        QVERIFY(!button.LoadBitmaps(SkinIds::TopMostOff, 4242));
    }
};

QTEST_MAIN(TestImageButton)
#include "tst_image_button.moc"
