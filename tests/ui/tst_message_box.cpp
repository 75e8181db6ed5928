#include "res/Strings.h"
#include "ui/MessageBox.h"

#include <QApplication>
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
    void unscriptedNeverBlocks() {
        QCOMPARE(ShowMessage(nullptr, Strings::FolderMissing, MessageIcon::Information), MessageAnswer::Ok);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().front().icon, MessageIcon::Information);
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_message_box.moc"
