#pragma once
// Every message to the user: a box captioned "Cloffa". A window's creator may attach a MessagePresenter
// to the window; boxes of that window and its children then go to it instead of the screen.
#include <QObject>
#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

enum class MessageIcon { Error, Information, Warning, Question };
enum class MessageAnswer { Ok, Yes, No };
// ByIcon: question boxes offer Yes/No, the others OK. YesNo: a question under another icon (the
// free-space question carries the warning icon).
enum class MessageButtons { ByIcon, YesNo };

struct MessageRequest {
    QString caption;
    QString text;
    MessageIcon icon = MessageIcon::Information;
    bool yesNo = false;
};

class MessagePresenter : public QObject {
    Q_OBJECT
public:
    // Parented to `window`: it answers for that window and everything inside it.
    explicit MessagePresenter(QWidget* window);
    virtual MessageAnswer Present(QWidget* parent, const MessageRequest& request) = 0;

    // The presenter attached to `widget` or the nearest of its parents; null when there is none.
    static MessagePresenter* For(const QWidget* widget);
};

MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::ByIcon);
// The box ShowMessage would open, for screenshots and checks.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& text, MessageIcon icon,
                                            MessageButtons buttons = MessageButtons::ByIcon);
