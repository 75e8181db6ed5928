#include "res/Strings.h"
#include "tests/ui/ScriptedMessages.h"
#include "ui/KoreanTranslations.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    // A presenter attached to a window answers for it and for everything inside it, in queue order.
    void presenterAnswersForItsWindow() {
        MessageScript script;
        QWidget window;
        auto* inner = new QWidget(&window);
        new ScriptedMessages(&window, script);
        script.setNextAnswer(MessageAnswer::No);
        script.setNextAnswer(MessageAnswer::Yes);
        QCOMPARE(ShowMessage(inner, Strings::DeleteQuestion, MessageIcon::Question), MessageAnswer::No);
        QCOMPARE(ShowMessage(&window, Strings::UploadSpaceQuestion, MessageIcon::Warning, MessageButtons::YesNo),
                 MessageAnswer::Yes);
        QCOMPARE(script.pendingAnswers(), 0);
        const auto shown = script.shown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].caption, QStringLiteral("Cloffa"));
        QCOMPARE(shown[0].text, Strings::DeleteQuestion);
        QVERIFY(shown[1].yesNo);
        QCOMPARE(shown[1].icon, MessageIcon::Warning);
        QWidget other;
        QCOMPARE(MessagePresenter::For(&other), nullptr);
    }
    // Without a presenter a real box opens and waits for the user, on any platform.
    void realBoxWaitsForTheUser_data() {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("question, Escape")
            << int(MessageIcon::Question) << int(Qt::Key_Escape) << int(MessageAnswer::No);
        QTest::newRow("question, Enter")
            << int(MessageIcon::Question) << int(Qt::Key_Return) << int(MessageAnswer::Yes);
        QTest::newRow("information, Enter")
            << int(MessageIcon::Information) << int(Qt::Key_Return) << int(MessageAnswer::Ok);
    }
    void realBoxWaitsForTheUser() {
        QFETCH(int, icon);
        QFETCH(int, key);
        QFETCH(int, expected);
        bool sawBox = false;
        QTimer::singleShot(50, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            sawBox = box && box->windowTitle() == QStringLiteral("Cloffa");
            if (box)
                QTest::keyClick(box, Qt::Key(key));
        });
        QCOMPARE(int(ShowMessage(nullptr, Strings::DeleteQuestion, MessageIcon(icon))), expected);
        QVERIFY(sawBox);
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
        QTest::newRow("warning question")
            << int(MessageIcon::Warning) << int(MessageButtons::YesNo) << int(QMessageBox::Warning) << yesNo;
    }
    void builtBox() {
        QFETCH(int, icon);
        QFETCH(int, buttons);
        QFETCH(int, qtIcon);
        QFETCH(int, offered);
        const auto box =
            MakeMessageBox(nullptr, Strings::UploadSpaceQuestion, MessageIcon(icon), MessageButtons(buttons));
        QCOMPARE(box->windowTitle(), QStringLiteral("Cloffa"));
        QCOMPARE(box->text(), Strings::UploadSpaceQuestion);
        QCOMPARE(int(box->icon()), qtIcon);
        QCOMPARE(int(box->standardButtons()), offered);
        QCOMPARE(box->textFormat(), Qt::PlainText);
    }
    // Korean button texts whatever the desktop's language.
    void koreanButtons() {
        QVERIFY(InstallKoreanTranslations());
        QVERIFY(InstallKoreanTranslations()); // a second call changes nothing
        const auto box = MakeMessageBox(nullptr, Strings::DeleteQuestion, MessageIcon::Question);
        QVERIFY(box->button(QMessageBox::Yes)->text().startsWith(QStringLiteral("예")));
        QVERIFY(box->button(QMessageBox::No)->text().startsWith(QStringLiteral("아니")));
        const auto ok = MakeMessageBox(nullptr, Strings::FolderMissing, MessageIcon::Information);
        QVERIFY(!ok->button(QMessageBox::Ok)->text().contains(QStringLiteral("OK")));
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_message_box.moc"
