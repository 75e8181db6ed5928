#include "res/DialogFont.h"
#include "res/DialogTemplates.h"
#include "res/DialogUnits.h"
#include "ui/DialogBuilder.h"

#include <QApplication>
#include <QFontInfo>
#include <QTest>

#include <vector>

class TestDialogUnits : public QObject {
    Q_OBJECT
public:
    explicit TestDialogUnits(qreal dpr) : m_dpr(dpr) {}

private slots:
    void mulDiv_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::addColumn<int>("expected");
        QTest::newRow("exact") << 8 << 12 << 8 << 12;
        QTest::newRow("half rounds up") << 158 << 7 << 4 << 277;
        QTest::newRow("below half") << 9 << 7 << 4 << 16;
        QTest::newRow("negative") << -9 << 7 << 4 << -16;
        QTest::newRow("zero divisor") << 5 << 7 << 0 << 0;
    }
    void mulDiv() {
        QFETCH(int, n);
        QFETCH(int, num);
        QFETCH(int, den);
        QFETCH(int, expected);
        QCOMPARE(DialogUnits::MulDiv(n, num, den), expected);
    }
    void baseUnits_data() {
        QTest::addColumn<int>("avg");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("du");
        QTest::addColumn<QRect>("px");
        QTest::newRow("windows gulim") << 7 << 12 << QRect(120, 6, 9, 11) << QRect(210, 9, 16, 17);
        QTest::newRow("list") << 7 << 12 << QRect(1, 1, 141, 88) << QRect(2, 2, 247, 132);
        QTest::newRow("small font") << 6 << 12 << QRect(4, 94, 35, 13) << QRect(6, 141, 53, 20);
    }
    void baseUnits() {
        QFETCH(int, avg);
        QFETCH(int, height);
        QFETCH(QRect, du);
        QFETCH(QRect, px);
        QCOMPARE(DialogUnits(avg, height).rect(du), px);
    }
    void dialogFontIsKoreanFace() {
        const QFont font = DialogFont();
        QCOMPARE(font.pixelSize(), 12);
        QVERIFY2(QFontInfo(font).family().startsWith(QLatin1String("Nanum")),
                 qPrintable(QFontInfo(font).family()));
        const DialogUnits& units = DialogUnits::ForDialogFont();
        QCOMPARE(units.avgCharWidth(), 7);
        QCOMPARE(units.charHeight(), 12);
    }
    // Device-independent pixels: the same figures at every device pixel ratio; Qt scales the rendering.
    void independentOfPixelRatio() {
        QWidget host;
        DialogBuilder::Build(&host, DialogTemplates::Get(DialogTemplates::DownloadSelect));
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QCOMPARE(host.devicePixelRatio(), m_dpr);
        QCOMPARE(host.size(), QSize(310, 123));
        const QPixmap shot = host.grab();
        QCOMPARE(shot.size(), QSize(qRound(310 * m_dpr), qRound(123 * m_dpr)));
        QCOMPARE(DialogUnits::ForDialogFont().rect(QRect(39, 22, 115, 14)), QRect(68, 33, 201, 21));
    }
    void everyControlInsideItsDialog_data() {
        QTest::addColumn<int>("id");
        for (const DialogTemplate& t : DialogTemplates::All())
            QTest::newRow(qPrintable(QString::number(t.id))) << t.id;
    }
    void everyControlInsideItsDialog() {
        QFETCH(int, id);
        const DialogTemplate& t = DialogTemplates::Get(id);
        const QRect dialogDu(QPoint(0, 0), t.size);
        for (const ControlTemplate& c : t.controls)
            QVERIFY2(dialogDu.contains(c.rect), qPrintable(QStringLiteral("control %1").arg(c.id)));
        QWidget host;
        const BuiltDialog built = DialogBuilder::Build(&host, t);
        QCOMPARE(built.all.size(), t.controls.size());
        for (QWidget* w : built.all)
            QVERIFY2(host.rect().contains(w->geometry()), qPrintable(w->objectName()));
    }
    void mainWindowFitsItsSkin() {
        const DialogUnits& u = DialogUnits::ForDialogFont();
        const QRect skin(0, 0, 276, 290);
        const DialogTemplate& main = DialogTemplates::Get(DialogTemplates::MainWindow);
        const QSize list = u.size(DialogTemplates::Get(DialogTemplates::FileList).size);
        const QRect listRect((276 - list.width()) / 2, (290 - list.height()) / 2 + 44, list.width(),
                             list.height());
        QVERIFY(skin.contains(listRect));
        for (const ControlTemplate& c : main.controls) {
            const QRect r = u.rect(c.rect);
            QVERIFY2(skin.contains(r), qPrintable(QString::number(c.id)));
            QVERIFY2(!r.intersects(listRect), qPrintable(QString::number(c.id)));
        }
    }

private:
    qreal m_dpr;
};

int main(int argc, char** argv) {
    std::vector<char*> args;
    qreal dpr = 1;
    for (int i = 0; i < argc; ++i) {
        if (qstrcmp(argv[i], "--dpr2") == 0)
            dpr = 2;
        else
            args.push_back(argv[i]);
    }
    qputenv("QT_SCALE_FACTOR", dpr == 2 ? "2" : "1");
    int count = int(args.size());
    QApplication app(count, args.data());
    TestDialogUnits test(dpr);
    return QTest::qExec(&test, count, args.data());
}

#include "tst_dialog_units.moc"
