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

MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon) {
    const bool question = icon == MessageIcon::Question;
    MessageAnswer answer = question ? MessageAnswer::Yes : MessageAnswer::Ok;
    // Scripted, or on the offscreen platform where nobody could answer: never block.
    if (MessageBox::takeNextAnswer(&answer) || QGuiApplication::platformName() == QLatin1String("offscreen")) {
        MessageBox::record({Strings::AppCaption, text, icon, answer});
        return answer;
    }
    QMessageBox::Icon qtIcon = QMessageBox::Information;
    switch (icon) {
    case MessageIcon::Error: qtIcon = QMessageBox::Critical; break;
    case MessageIcon::Information: qtIcon = QMessageBox::Information; break;
    case MessageIcon::Warning: qtIcon = QMessageBox::Warning; break;
    case MessageIcon::Question: qtIcon = QMessageBox::Question; break;
    }
    QMessageBox box(qtIcon, Strings::AppCaption, text,
                    question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(question ? QMessageBox::Yes : QMessageBox::Ok);
    const int result = box.exec();
    answer = question ? (result == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No) : MessageAnswer::Ok;
    MessageBox::record({Strings::AppCaption, text, icon, answer});
    return answer;
}
