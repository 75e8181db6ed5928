#pragma once
// Answers message boxes in tests: a MessageScript holds the queued answers (then OK or Yes) and records
// every box; a ScriptedMessages presenter attached to a window forwards that window's boxes to it.
#include "ui/MessageBox.h"

#include <QList>
#include <QWidget>

#include <deque>
#include <functional>

class MessageScript {
public:
    struct Shown {
        QString caption;
        QString text;
        MessageIcon icon;
        MessageAnswer answer;
        bool yesNo = false;
    };

    void setNextAnswer(MessageAnswer answer) { m_answers.push_back(answer); }
    void clearNextAnswers() { m_answers.clear(); }
    int pendingAnswers() const { return int(m_answers.size()); }
    QList<Shown> shown() const { return m_shown; }
    void clearShown() { m_shown.clear(); }

    // Runs while a box is "open", before it is answered (what happens behind a question).
    std::function<void(const MessageRequest&)> whileOpen;

    MessageAnswer Answer(const MessageRequest& request) {
        if (whileOpen)
            whileOpen(request);
        MessageAnswer answer = request.yesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
        if (!m_answers.empty()) {
            answer = m_answers.front();
            m_answers.pop_front();
        }
        m_shown.push_back({request.caption, request.text, request.icon, answer, request.yesNo});
        return answer;
    }

private:
    std::deque<MessageAnswer> m_answers;
    QList<Shown> m_shown;
};

class ScriptedMessages : public MessagePresenter {
public:
    ScriptedMessages(QWidget* window, MessageScript& script) : MessagePresenter(window), m_script(script) {}
    MessageAnswer Present(QWidget*, const MessageRequest& request) override { return m_script.Answer(request); }

private:
    MessageScript& m_script;
};
