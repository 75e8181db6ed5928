#include "ui/controls/CTransparentLabel.h"

#include "res/DialogFont.h"
#include "res/DialogUnits.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTest>

namespace {
// A striped "skin", so a left-over background fill or old glyphs would differ from it.
class Skinned : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int x = 0; x < width(); x += 4)
            p.fillRect(x, 0, 2, height(), QColor(30, 90, 160));
        for (int x = 2; x < width(); x += 4)
            p.fillRect(x, 0, 2, height(), QColor(230, 240, 250));
    }
};

QRgb SkinAt(int x) {
    return (x % 4) < 2 ? qRgb(30, 90, 160) : qRgb(230, 240, 250);
}

// What the window really shows: its backing store, as the platform hands it out.
QImage OnScreen(QWidget& window) {
    return window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}
} // namespace

class TestTransparentLabel : public QObject {
    Q_OBJECT
private slots:
    void neverPaintsBackground() {
        Skinned skin;
        skin.resize(200, 40);
        auto* label = new CTransparentLabel(QString(), &skin);
        label->setGeometry(10, 10, 180, 20);
        QVERIFY(!label->autoFillBackground());
        const QImage shot = skin.grab().toImage();
        for (int x = 10; x < 190; ++x)
            QCOMPARE(shot.pixel(x, 20), SkinAt(x));
    }
    void shorterTextLeavesNoRemains() {
        Skinned skin;
        skin.resize(240, 40);
        auto* label = new CTransparentLabel(QStringLiteral("사용중인 용량: 1234567890MB"), &skin);
        label->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
        label->setGeometry(10, 10, 220, 20);
        skin.show();
        QVERIFY(QTest::qWaitForWindowExposed(&skin));
        QCoreApplication::processEvents();
        const QImage before = OnScreen(skin);
        int red = 0;
        for (int y = 10; y < 30; ++y)
            for (int x = 120; x < 230; ++x)
                red += qRed(before.pixel(x, y)) > 200 && qGreen(before.pixel(x, y)) < 120;
        QVERIFY2(red > 10, "the long text was drawn");

        label->SetText(QStringLiteral("1MB"));
        QCoreApplication::processEvents();
        QCOMPARE(label->text(), QStringLiteral("1MB"));
        const QImage after = OnScreen(skin);
        for (int y = 10; y < 30; ++y)
            for (int x = 80; x < 230; ++x)
                QCOMPARE(after.pixel(x, y), SkinAt(x));
    }
    void wideTextCondensedNotClipped() {
        Skinned skin;
        skin.resize(100, 30);
        auto* label = new CTransparentLabel(QStringLiteral("987.5MB"), &skin);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
        label->setGeometry(10, 5, 40, 14);
        const QImage shot = skin.grab().toImage();
        int leftmost = 100;
        for (int y = 5; y < 19; ++y)
            for (int x = 10; x < 50; ++x)
                if (qRed(shot.pixel(x, y)) > 200 && qGreen(shot.pixel(x, y)) < 120)
                    leftmost = qMin(leftmost, x);
        QVERIFY2(leftmost > 10, qPrintable(QString::number(leftmost))); // the first glyph is whole
    }
    // Quota values in the value label's width (26 dialog units): whole, in a smaller step of the same
    // face, never condensed (a squeezed "2048MB" read as "2040MB").
    void quotaValuesFitWhole_data() {
        QTest::addColumn<QString>("value");
        for (const char* v : {"0MB", "100MB", "2048MB", "98.8MB", "1859.7MB", "2047.9MB"})
            QTest::newRow(v) << QString::fromLatin1(v);
    }
    void quotaValuesFitWhole() {
        QFETCH(QString, value);
        const QFont font = DialogFont();
        const int width = DialogUnits::ForDialogFont().x(26);
        const QFont fitted = CTransparentLabel::FittingFont(font, value, width);
        QVERIFY2(QFontMetrics(fitted).horizontalAdvance(value) <= width,
                 qPrintable(
                     QStringLiteral("%1 px in %2").arg(QFontMetrics(fitted).horizontalAdvance(value)).arg(width)));
        QCOMPARE(fitted.stretch(), font.stretch());
        QCOMPARE(fitted.family(), font.family());
        const auto size = [](const QFont& f) {
            return f.pointSizeF() > 0 ? f.pointSizeF() : qreal(f.pixelSize());
        };
        QVERIFY(size(fitted) >= size(font) * 0.75 - 0.5);
    }
};

QTEST_MAIN(TestTransparentLabel)
#include "tst_transparent_label.moc"
