#pragma once
// One wait at a time on the interface thread: a service call's wait or a modal question. What would
// start a call or open a question while one of them is on the stack waits in line and runs once the
// thread is back at its own level, so nothing runs inside another's wait.
#include <QObject>

#include <functional>

class QuestionGate {
public:
    // No wait is held and no question (a modal window over another) is open.
    static bool Free();

    // Held over a wait that pumps events; the thread counts as busy meanwhile.
    class Scope {
    public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };

    // Runs `run` from the event loop once the gate is free, in the order asked; dropped when `context`
    // is gone by then.
    static void WhenFree(QObject* context, std::function<void()> run);
};
