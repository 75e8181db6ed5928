#pragma once
// The real client in a process of its own, watched through its log lines on stderr (QT_LOGGING_RULES, as
// a user would switch them on) and ended the way the toolbar ends it: by a logout.
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QTest>

class RunningClient {
public:
    // Turns on the info lines the client writes; the window logs where it was placed.
    static void EnableInfoLines(QProcessEnvironment& env) {
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quorvane.*.info=true"));
    }

    bool Start(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
        m_process.setProcessEnvironment(env);
        m_process.start(program, args);
        return m_process.waitForStarted(10000);
    }

    // Waits until stderr holds `text` (or the process ended); what it read stays in Err().
    bool WaitForErr(const QString& text, int ms = 20000) {
        QDeadlineTimer deadline(ms);
        while (!m_err.contains(text)) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) {
                Collect();
                return m_err.contains(text);
            }
            m_process.waitForReadyRead(50);
            Collect();
        }
        return true;
    }

    // Sends the toolbar's logout with `tavirun` and waits for the client to end.
    bool Logout(const QString& tavirun, const QProcessEnvironment& env, int ms = 10000) {
        QProcess logout;
        logout.setProcessEnvironment(env);
        logout.start(tavirun, {QStringLiteral("logout")});
        if (!logout.waitForFinished(5000) || logout.exitCode() != 0)
            return false;
        return WaitForEnd(ms);
    }

    bool WaitForEnd(int ms = 20000) {
        const bool ended = m_process.waitForFinished(ms);
        Collect();
        if (!ended) {
            m_process.kill();
            m_process.waitForFinished();
        }
        return ended;
    }

    int ExitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2; }
    QString Err() const { return m_err; }
    QString Out() const { return m_out; }

    ~RunningClient() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    void Collect() {
        m_err += QString::fromUtf8(m_process.readAllStandardError());
        m_out += QString::fromUtf8(m_process.readAllStandardOutput());
    }

    QProcess m_process;
    QString m_err;
    QString m_out;
};
