#include "ui/windows/DemoDriver.h"

#include "ui/windows/CQuorvaneDlg.h"

void DemoDriver::StartIfRequested(CQuorvaneDlg*) {}
DemoDriver::DemoDriver(CQuorvaneDlg* window, const QStringList& steps, const QString& shotFolder)
    : QObject(window), m_window(window), m_steps(steps), m_shotFolder(shotFolder) {}
void DemoDriver::Next() {}
void DemoDriver::RunStep(const QString&) {}
void DemoDriver::Shot(const QString&) {}
