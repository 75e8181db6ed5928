#include "res/DialogTemplates.h"
#include "res/Strings.h"
#include "ui/DialogBuilder.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CImageButtonEx.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/controls/CTransparentLabel.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

class TestDialogBuilder : public QObject {
    Q_OBJECT
private slots:
    void mainWindowControls() {
        QWidget host;
        const BuiltDialog b =
            DialogBuilder::Build(&host, DialogTemplates::Get(DialogTemplates::MainWindow), false);
        QVERIFY(b.get<CImageButtonEx>(1040));
        QVERIFY(b.get<CImageButton>(1036));
        QVERIFY(b.get<CImageButton>(1021));
        QCOMPARE(b.get<CImageButton>(1021)->geometry(), QRect(245, 9, 16, 17)); // 140, 6 in dialog units
        auto* total = b.get<CTransparentLabel>(1051);
        QVERIFY(total);
        QCOMPARE(total->text(), Strings::QuotaTotalLabel);
        QVERIFY(total->alignment() & Qt::AlignRight);
        QCOMPARE(b.get<CTransparentLabel>(1004)->text(), QStringLiteral("0MB"));
    }
    void fileListControls() {
        QWidget host;
        const BuiltDialog b = DialogBuilder::Build(&host, DialogTemplates::Get(DialogTemplates::FileList));
        QCOMPARE(host.size(), QSize(252, 164));
        QVERIFY(b.get<CThemeListCtrl>(1028));
        QCOMPARE(b.get<CThemeListCtrl>(1028)->geometry(), QRect(2, 2, 247, 132));
        QCOMPARE(b.get<CImageButton>(1031)->size(), QSize(61, 20)); // one third of its bitmap
        QCOMPARE(b.get<CImageButton>(1030)->pos(), QPoint(68, 141));
    }
    void transferDialogControls() {
        QWidget host;
        const BuiltDialog b = DialogBuilder::Build(&host, DialogTemplates::Get(DialogTemplates::TransferDialog));
        QCOMPARE(host.windowTitle(), Strings::TransferTitle);
        QVERIFY(b.get<QProgressBar>(1007));
        QVERIFY(b.get<QPushButton>(1008)->isHidden()); // pause: created hidden
        QCOMPARE(b.get<QPushButton>(1009)->text(), Strings::ButtonCancel);
    }
    void downloadDialogControls() {
        QWidget host;
        const BuiltDialog b = DialogBuilder::Build(&host, DialogTemplates::Get(DialogTemplates::DownloadSelect));
        QVERIFY(b.get<QLineEdit>(1012));
        QCOMPARE(b.get<QCheckBox>(1015)->text(), Strings::DownloadOpenFolder);
        QVERIFY(b.get<QPushButton>(1)->isDefault());
        QVERIFY(!b.get<QPushButton>(2)->isDefault());
        QCOMPARE(b.all.size(), size_t(7));
        QCOMPARE(b.byId.size(), 6); // the folder label has no id
    }
};

QTEST_MAIN(TestDialogBuilder)
#include "tst_dialog_builder.moc"
