#pragma once
// Every message to the user: a box captioned "Cloffa". Tests script the answers with setNextAnswer()
// and read what would have been shown from shown(); a scripted box never opens.
#include <QList>
#include <QString>

class QWidget;

enum class MessageIcon { Error, Information, Warning, Question };
enum class MessageAnswer { Ok, Yes, No };

// Question boxes offer Yes/No, the others OK.
MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon);

class MessageBox {
public:
    struct Shown {
        QString caption;
        QString text;
        MessageIcon icon;
        MessageAnswer answer;
    };

    static void setNextAnswer(MessageAnswer answer);  // queued; each box takes one
    static void clearNextAnswers();
    static int pendingAnswers();
    static QList<Shown> shown();
    static void clearShown();

private:
    friend MessageAnswer ShowMessage(QWidget*, const QString&, MessageIcon);
    static bool takeNextAnswer(MessageAnswer* answer);
    static void record(const Shown& shown);
};
