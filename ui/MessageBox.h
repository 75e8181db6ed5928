#pragma once
// Every message to the user: a box captioned "Cloffa". Tests script the answers with setNextAnswer()
// and read what would have been shown from shown(); a scripted box never opens.
#include <QList>
#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

enum class MessageIcon { Error, Information, Warning, Question };
enum class MessageAnswer { Ok, Yes, No };
// ByIcon: question boxes offer Yes/No, the others OK. YesNo: a question under another icon (the
// free-space question carries the warning icon).
enum class MessageButtons { ByIcon, YesNo };

MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::ByIcon);
// The box ShowMessage would open, for screenshots and checks.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& text, MessageIcon icon,
                                            MessageButtons buttons = MessageButtons::ByIcon);

class MessageBox {
public:
    struct Shown {
        QString caption;
        QString text;
        MessageIcon icon;
        MessageAnswer answer;
        bool yesNo = false;
    };

    static void setNextAnswer(MessageAnswer answer);  // queued; each box takes one
    static void clearNextAnswers();
    static int pendingAnswers();
    static QList<Shown> shown();
    static void clearShown();

private:
    friend MessageAnswer ShowMessage(QWidget*, const QString&, MessageIcon, MessageButtons);
    static bool takeNextAnswer(MessageAnswer* answer);
    static void record(const Shown& shown);
};
