#include "res/Strings.h"
#include "ui/controls/CModalessMessageBox.h"
#include "ui/controls/CTransparentLabel.h"

#include <QApplication>
#include <QTest>

class TestWaitBox : public QObject {
    Q_OBJECT
private slots:
    void neverTakesInput() {
        CModalessMessageBox box;
        QVERIFY(box.windowFlags() & Qt::WindowDoesNotAcceptFocus);
        QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(box.testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(box.testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(box.focusPolicy(), Qt::NoFocus);
    }
    void sizeAndOpacity() {
        CModalessMessageBox box;
        QCOMPARE(box.size(), QSize(228, 45));
        QCOMPARE(box.Label()->geometry(), QRect(14, 11, 200, 24));
        QVERIFY(qAbs(box.windowOpacity() - 220 / 255.0) < 0.01);
    }
    void textBeforeAndAfterShowing() {
        CModalessMessageBox box;
        QCOMPARE(box.Label()->text(), Strings::WaitBoxPlaceholder);
        box.SetMessageText(Strings::WaitFileList);
        QCOMPARE(box.Label()->text(), Strings::WaitFileList);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.SetMessageText(Strings::WaitDeleting);
        QCOMPARE(box.Label()->text(), Strings::WaitDeleting);
        QCOMPARE(box.MessageText(), Strings::WaitDeleting);
    }
    void whiteBoxWithGreyEdge() {
        CModalessMessageBox box;
        box.SetMessageText(QStringLiteral("."));
        const QImage shot = box.grab().toImage();
        const QRgb grey = qRgb(170, 170, 170);
        QCOMPARE(shot.pixel(5, 0), grey);
        QCOMPARE(shot.pixel(0, 20), grey);
        QCOMPARE(shot.pixel(box.width() - 1, 20), grey);
        QCOMPARE(shot.pixel(5, box.height() - 1), grey);
        QCOMPARE(shot.pixel(5, 5), qRgb(255, 255, 255));
        QVERIFY(!box.mask().contains(QPoint(0, 0)));
        QVERIFY(box.mask().contains(QPoint(1, 0)));
        QVERIFY(!box.mask().contains(QPoint(box.width() - 1, box.height() - 1)));
    }
};

QTEST_MAIN(TestWaitBox)
#include "tst_wait_box.moc"
