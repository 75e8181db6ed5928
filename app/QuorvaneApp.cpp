#include "app/QuorvaneApp.h"

#include "app/CredentialProtection.h"
#include "app/LaunchArguments.h"
#include "app/Log.h"
#include "app/SessionLoader.h"
#include "app/SessionStore.h"
#include "app/platform/BrokenPipe.h"
#include "app/platform/DesktopNotifier.h"
#include "app/platform/SingleInstance.h"
#include "app/platform/ToolbarSessionClient.h"
#include "res/Strings.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>
#include <QThread>

CQuorvaneApp::CQuorvaneApp(SessionStore& store, MainWindowFactory factory)
    : m_store(store), m_factory(std::move(factory)) {}

int CQuorvaneApp::Run() {
    return Run(QCoreApplication::arguments());
}

int CQuorvaneApp::Run(const QStringList& arguments) {
    // A connection closed under a write ends that call with its error number, never the program.
    IgnoreBrokenPipeSignal();
    const QStringList sent = SentFiles(arguments);
    if (!sent.isEmpty())
        return SendFiles(sent);
    // A local of start-up, not the store's: the claim ends with this run, before the store waits for workers.
    SingleInstance instance;
    if (!instance.Acquire()) {
        m_outcome = Outcome::SecondCopy;
        // No settings written: this copy's stale values would overwrite the running copy's choices.
        m_store.FinishSettings(false);
        // Another copy runs: bring it forward and leave; our own arguments are ignored. A copy that is
        // still starting has no window yet and answers at once that there is none.
        if (SingleInstance::ActivateRunning())
            QThread::msleep(300);
        return 0;
    }
    // Written back while the name is still ours: a copy started next reads them, never older ones.
    struct SettingsWriteBack {
        SessionStore& store;
        ~SettingsWriteBack() { store.FinishSettings(true); }
    } writeBack{m_store};

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
    instance.PublishWindow();
    if (m_factory)
        m_factory(MainWindowRequest{args.left, args.top, &instance, &m_store});
    return 0;
}

int CQuorvaneApp::SendFiles(const QStringList& paths) {
    // Never the running copy's name or settings: this copy only hands the files over.
    m_store.FinishSettings(false);
    const SingleInstance::SendResult result = SingleInstance::SendFilesToRunning(paths);
    if (result == SingleInstance::SendResult::Taken) {
        m_outcome = Outcome::FilesSent;
        return 0;
    }
    // Started from a file manager's menu there is no terminal: the desktop tells the user.
    const bool none = result == SingleInstance::SendResult::NoCopy;
    m_outcome = none ? Outcome::FilesNoCopy : Outcome::FilesRefused;
    qCWarning(lcApp, "%d files not sent: %s", int(paths.size()),
              none ? "no running copy" : "the running copy cannot take them now");
    QString desktopFile = QGuiApplication::desktopFileName();
    if (desktopFile.isEmpty())
        desktopFile = QStringLiteral("org.brellow.Quorvane");
    SessionBusNotifier::NotifyAndWait(desktopFile, none ? Strings::SendNoRunningCopy : Strings::SendRefused,
                                      none ? Strings::SendNoRunningCopyHint : Strings::SendRefusedHint);
    return 1;
}
