#include "app/QuorvaneApp.h"

#include "app/CredentialProtection.h"
#include "app/LaunchArguments.h"
#include "app/SessionLoader.h"
#include "app/SessionStore.h"
#include "app/platform/BrokenPipe.h"
#include "app/platform/SingleInstance.h"
#include "app/platform/ToolbarSessionClient.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

CQuorvaneApp::CQuorvaneApp(SessionStore& store, MainWindowFactory factory)
    : m_store(store), m_factory(std::move(factory)) {}

int CQuorvaneApp::Run() { return Run(QCoreApplication::arguments()); }

int CQuorvaneApp::Run(const QStringList& arguments) {
    // A connection closed under a write ends that call with its error number, never the program.
    IgnoreBrokenPipeSignal();
    SingleInstance instance;
    if (!instance.Acquire()) {
        m_outcome = Outcome::SecondCopy;
        // Another copy runs: bring it forward and leave; our own arguments are ignored.
        if (SingleInstance::ActivateRunning())
            QThread::msleep(300);
        return 0;
    }

    const LaunchArguments args = ParseLaunchArguments(arguments);
    if (!args.proceed) {
        m_outcome = Outcome::BadCommandLine;
        return 0;
    }
    if (args.hasToken)
        m_store.SetLaunchUserId(DecryptLaunchToken(args.token));

    if (!LoadSession(m_store)) {
        m_outcome = Outcome::SessionRefused;
        return 0;
    }

    m_outcome = Outcome::WindowShown;
    if (m_factory)
        m_factory(MainWindowRequest{args.left, args.top, &instance});
    return 0;
}
