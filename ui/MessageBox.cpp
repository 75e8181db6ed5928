#include "ui/MessageBox.h"

#include "res/Strings.h"
#include "ui/Attached.h"

#include <QMessageBox>
#include <QWidget>

namespace {
bool OffersYesNo(MessageIcon icon, MessageButtons buttons) {
    return buttons == MessageButtons::YesNo || icon == MessageIcon::Question;
}
} // namespace

MessagePresenter::MessagePresenter(QWidget* window) : QObject(window) {}

MessagePresenter* MessagePresenter::For(const QWidget* widget) {
    return FindAttached<MessagePresenter>(widget);
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& text, MessageIcon icon,
                                            MessageButtons buttons) {
    const bool yesNo = OffersYesNo(icon, buttons);
    QMessageBox::Icon qtIcon = QMessageBox::Information;
    switch (icon) {
    case MessageIcon::Error:
        qtIcon = QMessageBox::Critical;
        break;
    case MessageIcon::Information:
        qtIcon = QMessageBox::Information;
        break;
    case MessageIcon::Warning:
        qtIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Question:
        qtIcon = QMessageBox::Question;
        break;
    }
    auto box = std::make_unique<QMessageBox>(
        qtIcon, Strings::AppCaption, text, yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    if (yesNo)
        box->setEscapeButton(QMessageBox::No);
    return box;
}

MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon, MessageButtons buttons) {
    const bool yesNo = OffersYesNo(icon, buttons);
    if (MessagePresenter* presenter = MessagePresenter::For(parent))
        return presenter->Present(parent, {Strings::AppCaption, text, icon, yesNo});
    const int result = MakeMessageBox(parent, text, icon, buttons)->exec();
    return yesNo ? (result == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No) : MessageAnswer::Ok;
}
