// Quorvane: the Cloffa file store client, started by the Tavirun toolbar.
#include "app/Log.h"
#include "app/QuorvaneApp.h"
#include "app/SessionStore.h"
#include "app/platform/DisplayPlatform.h"
#include "ui/windows/CQuorvaneDlg.h"

#include <QApplication>

#include <vector>

int main(int argc, char** argv) {
    // First, so that even the application object's complaints reach the file.
    Log::Install();
    // In a Wayland session with XWayland the skinned window runs on X11 (see DisplayPlatform).
    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    arguments = DisplayPlatform::ApplicationArguments(arguments);
    std::vector<char*> args;
    for (QByteArray& argument : arguments)
        args.push_back(argument.data());
    args.push_back(nullptr);
    int count = int(arguments.size());
    QApplication application(count, args.data());
    QGuiApplication::setDesktopFileName(QStringLiteral("org.brellow.Quorvane"));
    // One window class whatever name the program was started under: the desktop entry matches it.
    QCoreApplication::setApplicationName(QStringLiteral("Quorvane.exe"));
    // The command line holds the launch token: it is never logged.
    qCInfo(lcApp, "Quorvane %s started", QUORVANE_VERSION);
    // Settings are loaded here and written back when the store goes away after the window closed.
    // After the application object, so it goes first: its end waits for workers that outlived their window.
    SessionStore store;
    CQuorvaneApp app(store, &RunMainWindow);
    const int code = app.Run();
    qCInfo(lcApp, "Quorvane ended, outcome %d", int(app.LastOutcome()));
    return code;
}
