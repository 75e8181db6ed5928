#include "res/Strings.h"
#include "ui/KoreanTranslations.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void init() {
        MessageBox::clearNextAnswers();
        MessageBox::clearShown();
    }
    void scriptedAnswersInOrder() {
        MessageBox::setNextAnswer(MessageAnswer::No);
        MessageBox::setNextAnswer(MessageAnswer::Yes);
        QCOMPARE(ShowMessage(nullptr, Strings::DeleteQuestion, MessageIcon::Question), MessageAnswer::No);
        QCOMPARE(ShowMessage(nullptr, Strings::UploadSpaceQuestion, MessageIcon::Question), MessageAnswer::Yes);
        QCOMPARE(MessageBox::pendingAnswers(), 0);
        const auto shown = MessageBox::shown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].caption, QStringLiteral("Cloffa"));
        QCOMPARE(shown[0].text, Strings::DeleteQuestion);
        QCOMPARE(shown[1].icon, MessageIcon::Question);
    }
    // The box a user would see: caption, icon and buttons for each kind of message.
    void builtBox_data() {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("qtIcon");
        QTest::addColumn<int>("offered");
        const int yesNo = int(QMessageBox::Yes | QMessageBox::No);
        QTest::newRow("error") << int(MessageIcon::Error) << int(MessageButtons::ByIcon)
                               << int(QMessageBox::Critical) << int(QMessageBox::Ok);
        QTest::newRow("information") << int(MessageIcon::Information) << int(MessageButtons::ByIcon)
                                     << int(QMessageBox::Information) << int(QMessageBox::Ok);
        QTest::newRow("warning") << int(MessageIcon::Warning) << int(MessageButtons::ByIcon)
                                 << int(QMessageBox::Warning) << int(QMessageBox::Ok);
        QTest::newRow("question") << int(MessageIcon::Question) << int(MessageButtons::ByIcon)
                                  << int(QMessageBox::Question) << yesNo;
        QTest::newRow("warning question") << int(MessageIcon::Warning) << int(MessageButtons::YesNo)
                                          << int(QMessageBox::Warning) << yesNo;
    }
    void builtBox() {
        QFETCH(int, icon);
        QFETCH(int, buttons);
        QFETCH(int, qtIcon);
        QFETCH(int, offered);
        const auto box = MakeMessageBox(nullptr, Strings::UploadSpaceQuestion, MessageIcon(icon), MessageButtons(buttons));
        QCOMPARE(box->windowTitle(), QStringLiteral("Cloffa"));
        QCOMPARE(box->text(), Strings::UploadSpaceQuestion);
        QCOMPARE(int(box->icon()), qtIcon);
        QCOMPARE(int(box->standardButtons()), offered);
        QCOMPARE(box->textFormat(), Qt::PlainText);
    }
    // Korean button texts whatever the desktop's language.
    void koreanButtons() {
        QVERIFY(InstallKoreanTranslations());
        QVERIFY(InstallKoreanTranslations());  // a second call changes nothing
        const auto box = MakeMessageBox(nullptr, Strings::DeleteQuestion, MessageIcon::Question);
        QVERIFY(box->button(QMessageBox::Yes)->text().startsWith(QStringLiteral("예")));
        QVERIFY(box->button(QMessageBox::No)->text().startsWith(QStringLiteral("아니")));
        const auto ok = MakeMessageBox(nullptr, Strings::FolderMissing, MessageIcon::Information);
        QVERIFY(!ok->button(QMessageBox::Ok)->text().contains(QStringLiteral("OK")));
    }
    void unscriptedNeverBlocks() {
        QCOMPARE(ShowMessage(nullptr, Strings::FolderMissing, MessageIcon::Information), MessageAnswer::Ok);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().front().icon, MessageIcon::Information);
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_message_box.moc"
