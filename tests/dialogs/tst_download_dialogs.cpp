#include "app/SessionStore.h"
#include "res/DialogTemplates.h"
#include "res/DialogUnits.h"
#include "res/Strings.h"
#include "tests/ui/ScriptedMessages.h"
#include "ui/controls/CTransparentLabel.h"
#include "ui/dialogs/CConfirmReplacefileDlg.h"
#include "ui/dialogs/CDownloadSelectDlg.h"
#include "ui/dialogs/CTransmissionDlg.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
MessageScript g_messages;

// The folder browser's answer, and where it was asked to start.
class ScriptedBrowser : public FolderBrowser {
public:
    ScriptedBrowser(QWidget* window, const QString& answer) : FolderBrowser(window), m_answer(answer) {}
    QString Browse(const QString& start) override {
        started = start;
        return m_answer;
    }
    QString started;

private:
    QString m_answer;
};
} // namespace

class TestDownloadDialogs : public QObject {
    Q_OBJECT
    SessionStore m_store{SessionStore::Settings::None};
    QTemporaryDir m_dir;

    QString folder() const { return m_dir.path() + u'/'; }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(u"bad*name"_s));
        QVERIFY(m_store.SetDownloadFolder(folder()));
    }
    void init() {
        g_messages.clearNextAnswers();
        g_messages.clearShown();
        QVERIFY(m_store.SetDownloadFolder(folder()));
    }

    void downloadDialogLayout() {
        CDownloadSelectDlg dlg(m_store);
        new ScriptedMessages(&dlg, g_messages);
        const DialogUnits& du = DialogUnits::ForDialogFont();
        QCOMPARE(dlg.windowTitle(), u"다운로드"_s);
        QCOMPARE(dlg.size(), du.size({177, 82}));
        QCOMPARE(dlg.control(CDownloadSelectDlg::IdFolder)->geometry(), du.rect({39, 22, 115, 14}));
        auto* start = qobject_cast<QPushButton*>(dlg.control(CDownloadSelectDlg::IdStart));
        QCOMPARE(start->text(), u"시작"_s);
        QVERIFY(start->isDefault());
        QCOMPARE(qobject_cast<QLineEdit*>(dlg.control(CDownloadSelectDlg::IdFolder))->text(), folder());
        QVERIFY(qobject_cast<QCheckBox*>(dlg.control(CDownloadSelectDlg::IdOpenFolder))->isChecked());
        QCOMPARE(dlg.OpenFolder(), 1);
        dlg.SetMessage(u"3개의 파일을 다운로드합니다."_s);
        QCOMPARE(qobject_cast<QLabel*>(dlg.control(CDownloadSelectDlg::IdMessage))->text(),
                 u"3개의 파일을 다운로드합니다."_s);
    }

    void start_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty = accepted
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing") << u"/no/such/folder-quorvane"_s << Strings::FolderMissing << QString();
        QTest::newRow("empty") << QString() << Strings::FolderMissing << QString();
        QTest::newRow("invalid star") << m_dir.path() + u"/bad*name"_s << Strings::FolderInvalid << QString();
        QTest::newRow("invalid dot") << m_dir.path() + u"/./"_s << Strings::FolderInvalid << QString();
        QTest::newRow("valid, no slash") << m_dir.path() << QString() << folder();
        QTest::newRow("valid, blanks") << u"  "_s + folder() + u" "_s << QString() << folder();
    }
    void start() {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, folder);
        CDownloadSelectDlg dlg(m_store);
        new ScriptedMessages(&dlg, g_messages);
        dlg.show();
        qobject_cast<QLineEdit*>(dlg.control(CDownloadSelectDlg::IdFolder))->setText(typed);
        QTest::mouseClick(dlg.control(CDownloadSelectDlg::IdStart), Qt::LeftButton);
        if (message.isEmpty()) {
            QVERIFY(g_messages.shown().isEmpty());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QVERIFY(!dlg.isVisible());
            QCOMPARE(dlg.Folder(), folder);
            QVERIFY(dlg.Folder().endsWith(u'/'));
        } else {
            QCOMPARE(g_messages.shown().size(), 1);
            QCOMPARE(g_messages.shown().first().text, message);
            QCOMPARE(g_messages.shown().first().caption, u"Cloffa"_s);
            QCOMPARE(g_messages.shown().first().icon, MessageIcon::Information);
            QVERIFY(dlg.isVisible()); // stays open for correction
        }
    }

    void browse_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("answer"); // empty = cancelled
        QTest::addColumn<QString>("startFolder");
        QTest::addColumn<QString>("field");
        QTest::newRow("cancelled") << folder() << QString() << m_dir.path() << folder();
        QTest::newRow("picked") << folder() << u"/srv/data"_s << m_dir.path() << u"/srv/data/"_s;
        QTest::newRow("picked with slash") << folder() << u"/srv/data/"_s << m_dir.path() << u"/srv/data/"_s;
        QTest::newRow("root") << u"/"_s << u"/"_s << u"/"_s << u"/"_s;
    }
    void browse() {
        QFETCH(QString, stored);
        QFETCH(QString, answer);
        QFETCH(QString, startFolder);
        QFETCH(QString, field);
        QVERIFY(m_store.SetDownloadFolder(stored));
        CDownloadSelectDlg dlg(m_store);
        new ScriptedMessages(&dlg, g_messages);
        dlg.show();
        auto* browser = new ScriptedBrowser(&dlg, answer);
        QTest::mouseClick(dlg.control(CDownloadSelectDlg::IdBrowse), Qt::LeftButton);
        QCOMPARE(browser->started, startFolder);
        QCOMPARE(qobject_cast<QLineEdit*>(dlg.control(CDownloadSelectDlg::IdFolder))->text(), field);
    }

    void downloadEscape() {
        CDownloadSelectDlg dlg(m_store);
        new ScriptedMessages(&dlg, g_messages);
        dlg.show();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
    }

    void shortName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("shown");
        QTest::newRow("21") << u"/d/abcdefghijklmnopqrstu"_s << u"abcdefghijklmnopqrstu"_s;
        QTest::newRow("22") << u"/d/abcdefghijklmnopqrstuv"_s << u"abcdefghijklmnopqrstuv..."_s;
        QTest::newRow("30") << u"/d/e/abcdefghijklmnopqrstuvwxyz1234"_s << u"abcdefghijklmnopqrstuv..."_s;
        QTest::newRow("korean 22") << u"가나다라마바사아자차카타파하가나다라마바사아"_s
                                   << u"가나다라마바사아자차카타파하가나다라마바사아..."_s;
        QTest::newRow("no folder") << u"a.txt"_s << u"a.txt"_s;
    }
    void shortName() {
        QFETCH(QString, path);
        QFETCH(QString, shown);
        CConfirmReplacefileDlg dlg;
        dlg.SetFileName(path);
        QCOMPARE(dlg.FileName(), shown);
        dlg.prepare();
        QCOMPARE(dlg.questionLabel()->text(), u"\""_s + shown + u"\"와 같은 이름을 가진 파일이 있습니다."_s);
    }

    void replaceLayout_data() {
        QTest::addColumn<int>("several");
        QTest::newRow("several") << 1;
        QTest::newRow("single") << 0;
    }
    void replaceLayout() {
        QFETCH(int, several);
        const DialogUnits& du = DialogUnits::ForDialogFont();
        CConfirmReplacefileDlg dlg;
        QCOMPARE(dlg.windowTitle(), u"파일 바꾸기 확인"_s);
        QVERIFY(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
        dlg.SetSeveralFiles(several);
        dlg.SetFileName(u"/x/a.txt"_s);
        dlg.prepare();
        dlg.show();
        QVERIFY(dlg.button(CConfirmReplacefileDlg::IdYes)->isDefault());
        const QPoint yesAt = du.point({45, 47}), allAt = du.point({95, 47}), noAt = du.point({145, 47}),
                     cancelAt = du.point({195, 47});
        if (several) {
            QCOMPARE(dlg.button(CConfirmReplacefileDlg::IdYes)->pos(), yesAt);
            QCOMPARE(dlg.button(CConfirmReplacefileDlg::IdYesToAll)->pos(), allAt);
            QCOMPARE(dlg.button(CConfirmReplacefileDlg::IdNo)->pos(), noAt);
            QCOMPARE(dlg.button(CConfirmReplacefileDlg::IdCancel)->pos(), cancelAt);
            QVERIFY(dlg.button(CConfirmReplacefileDlg::IdYesToAll)->isVisible());
            QVERIFY(dlg.button(CConfirmReplacefileDlg::IdCancel)->isVisible());
        } else {
            QCOMPARE(dlg.button(CConfirmReplacefileDlg::IdYes)->pos(), noAt);
            QCOMPARE(dlg.button(CConfirmReplacefileDlg::IdNo)->pos(), cancelAt);
            QVERIFY(!dlg.button(CConfirmReplacefileDlg::IdYesToAll)->isVisible());
            QVERIFY(!dlg.button(CConfirmReplacefileDlg::IdCancel)->isVisible());
            // The right edge of "아니오" is the dialog's last button edge.
            QCOMPARE(dlg.button(CConfirmReplacefileDlg::IdNo)->geometry().right(),
                     du.rect({195, 47, 50, 14}).right());
        }
    }

    void replaceAnswers_data() {
        QTest::addColumn<int>("buttonId");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("skip");
        QTest::addColumn<int>("replaceAll");
        QTest::newRow("예") << int(CConfirmReplacefileDlg::IdYes) << int(QDialog::Accepted) << 0 << 0;
        QTest::newRow("모두 예") << int(CConfirmReplacefileDlg::IdYesToAll) << int(QDialog::Accepted) << 0 << 1;
        QTest::newRow("아니오") << int(CConfirmReplacefileDlg::IdNo) << int(QDialog::Accepted) << 1 << 0;
        QTest::newRow("취소") << int(CConfirmReplacefileDlg::IdCancel) << int(QDialog::Rejected) << 0 << 0;
        QTest::newRow("Escape") << 0 << int(QDialog::Rejected) << 0 << 0;
    }
    void replaceAnswers() {
        QFETCH(int, buttonId);
        QFETCH(int, result);
        QFETCH(int, skip);
        QFETCH(int, replaceAll);
        CConfirmReplacefileDlg dlg;
        dlg.SetFileName(u"/x/a.txt"_s);
        dlg.prepare();
        dlg.open();
        if (buttonId)
            QTest::mouseClick(dlg.button(buttonId), Qt::LeftButton);
        else
            QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(dlg.result(), result);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.Skip(), skip);
        QCOMPARE(dlg.ReplaceAll(), replaceAll);
        QCOMPARE(dlg.answer() == CConfirmReplacefileDlg::Answer::Cancel, result == int(QDialog::Rejected));
    }

    // Renders the three dialogs for a look by eye.
    void screenshots() {
        const QString dir = qEnvironmentVariable("QUORVANE_BINARY_DIR", QDir::tempPath()) + u"/screenshots"_s;
        QVERIFY(QDir().mkpath(dir));
        CDownloadSelectDlg download(m_store);
        download.SetMessage(u"3개의 파일을 다운로드합니다."_s);
        download.show();
        QVERIFY(download.grab().save(dir + u"/download_select.png"_s));

        CConfirmReplacefileDlg several;
        several.SetFileName(u"/home/user/다운로드/2008년 여름휴가 사진모음집 최종본.zip"_s);
        several.prepare();
        several.show();
        QVERIFY(several.grab().save(dir + u"/confirm_replace.png"_s));

        CConfirmReplacefileDlg single;
        single.SetSeveralFiles(0);
        single.SetFileName(u"/home/user/report.txt"_s);
        single.prepare();
        single.show();
        QVERIFY(single.grab().save(dir + u"/confirm_replace_single.png"_s));

        CTransmissionDlg transfer(m_store, TransferSettings{}, CTransmissionDlg::Download, nullptr);
        transfer.show();
        transfer.fileStarted(u"2008년 여름휴가 사진.zip"_s, 2, 3);
        transfer.progress(1536 * 1024, 4096 * 1024);
        QCoreApplication::processEvents();
        QVERIFY(transfer.grab().save(dir + u"/transfer.png"_s));
        qInfo("screenshots in %s", qPrintable(dir));
    }
};

QTEST_MAIN(TestDownloadDialogs)
#include "tst_download_dialogs.moc"
