#include "ui/MessageBox.h"

#include "res/Strings.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <deque>
#include <mutex>

namespace {
std::mutex g_mutex;
std::deque<MessageAnswer> g_answers;
QList<MessageBox::Shown> g_shown;
}  // namespace

void MessageBox::setNextAnswer(MessageAnswer answer) {
    std::lock_guard lock(g_mutex);
    g_answers.push_back(answer);
}

void MessageBox::clearNextAnswers() {
    std::lock_guard lock(g_mutex);
    g_answers.clear();
}

int MessageBox::pendingAnswers() {
    std::lock_guard lock(g_mutex);
    return int(g_answers.size());
}

QList<MessageBox::Shown> MessageBox::shown() {
    std::lock_guard lock(g_mutex);
    return g_shown;
}

void MessageBox::clearShown() {
    std::lock_guard lock(g_mutex);
    g_shown.clear();
}

bool MessageBox::takeNextAnswer(MessageAnswer* answer) {
    std::lock_guard lock(g_mutex);
    if (g_answers.empty())
        return false;
    *answer = g_answers.front();
    g_answers.pop_front();
    return true;
}

void MessageBox::record(const Shown& shown) {
    std::lock_guard lock(g_mutex);
    g_shown.push_back(shown);
}

namespace {
bool OffersYesNo(MessageIcon icon, MessageButtons buttons) {
    return buttons == MessageButtons::YesNo || icon == MessageIcon::Question;
}
}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& text, MessageIcon icon,
                                            MessageButtons buttons) {
    const bool yesNo = OffersYesNo(icon, buttons);
    QMessageBox::Icon qtIcon = QMessageBox::Information;
    switch (icon) {
    case MessageIcon::Error: qtIcon = QMessageBox::Critical; break;
    case MessageIcon::Information: qtIcon = QMessageBox::Information; break;
    case MessageIcon::Warning: qtIcon = QMessageBox::Warning; break;
    case MessageIcon::Question: qtIcon = QMessageBox::Question; break;
    }
    auto box = std::make_unique<QMessageBox>(qtIcon, Strings::AppCaption, text,
                                             yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    return box;
}

MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon, MessageButtons buttons) {
    const bool yesNo = OffersYesNo(icon, buttons);
    MessageAnswer answer = yesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    // Scripted, or on the offscreen platform where nobody could answer: never block.
    if (MessageBox::takeNextAnswer(&answer) || QGuiApplication::platformName() == QLatin1String("offscreen")) {
        MessageBox::record({Strings::AppCaption, text, icon, answer, yesNo});
        return answer;
    }
    const int result = MakeMessageBox(parent, text, icon, buttons)->exec();
    answer = yesNo ? (result == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No) : MessageAnswer::Ok;
    MessageBox::record({Strings::AppCaption, text, icon, answer, yesNo});
    return answer;
}
