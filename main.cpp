// Quorvane: the Cloffa file store client, started by the Tavirun toolbar.
#include "app/Log.h"
#include "app/QuorvaneApp.h"
#include "app/SessionStore.h"
#include "ui/windows/CQuorvaneDlg.h"

#include <QApplication>

int main(int argc, char** argv) {
    // First, so that even the application object's complaints reach the file.
    Log::Install();
    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.brellow.Quorvane"));
    // The command line holds the launch token: it is never logged.
    qCInfo(lcApp, "Quorvane %s started", QUORVANE_VERSION);
    // Settings are loaded here and written back when the store goes away after the window closed.
    SessionStore store;
    CQuorvaneApp app(store, &RunMainWindow);
    const int code = app.Run();
    qCInfo(lcApp, "Quorvane ended, outcome %d", int(app.LastOutcome()));
    return code;
}
