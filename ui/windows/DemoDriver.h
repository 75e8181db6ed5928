#pragma once
// Drives a short scripted session through the real windows when QUORVANE_DEMO_SCRIPT names a script
// (one step a line: list, upload PATH..., download NAME FOLDER, delete NAME, logout), saving a
// screenshot after each step into QUORVANE_DEMO_SHOTS (default: the working folder).
#include <QObject>
#include <QStringList>

class CQuorvaneDlg;

class DemoDriver : public QObject {
    Q_OBJECT
public:
    static void StartIfRequested(CQuorvaneDlg* window);
    DemoDriver(CQuorvaneDlg* window, const QStringList& steps, const QString& shotFolder);

private:
    void Next();
    void RunStep(const QString& step);
    void Shot(const QString& name);
    CQuorvaneDlg* m_window;
    QStringList m_steps;
    QString m_shotFolder;
    int m_done = 0;
};
