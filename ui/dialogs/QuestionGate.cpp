#include "ui/dialogs/QuestionGate.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <deque>

using namespace std::chrono_literals;

namespace {

struct Waiting {
    QPointer<QObject> context;
    std::function<void()> run;
};

// Touched on the interface thread only.
int g_depth = 0;
bool g_armed = false;
std::deque<Waiting> g_waiting;

void Drain();

// A question is a modal window over another one; the program's own window, run modally without an
// owner, is not one.
bool QuestionOpen() {
    const QWidget* modal = QApplication::activeModalWidget();
    return modal && modal->parentWidget();
}

void Arm() {
    if (g_armed || g_waiting.empty() || !QCoreApplication::instance())
        return;
    g_armed = true;
    // A question closes without telling anyone here; while one is open the line is looked at again
    // shortly. The end of a wait arms it at once.
    const auto delay = QuestionOpen() ? 100ms : 0ms;
    QTimer::singleShot(delay, QCoreApplication::instance(), &Drain);
}

void Drain() {
    g_armed = false;
    while (!g_waiting.empty() && QuestionGate::Free()) {
        Waiting next = std::move(g_waiting.front());
        g_waiting.pop_front();
        if (next.context)
            next.run();
    }
    if (g_depth == 0)
        Arm();
}

} // namespace

bool QuestionGate::Free() {
    return g_depth == 0 && !QuestionOpen();
}

QuestionGate::Scope::Scope() {
    ++g_depth;
}

QuestionGate::Scope::~Scope() {
    if (--g_depth == 0)
        Arm();
}

void QuestionGate::WhenFree(QObject* context, std::function<void()> run) {
    g_waiting.push_back(Waiting{context, std::move(run)});
    if (g_depth == 0)
        Arm();
}
