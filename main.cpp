// Quorvane: the Cloffa file store client, started by the Tavirun toolbar.
#include "app/Log.h"
#include "app/QuorvaneApp.h"
#include "app/SessionStore.h"
#include "app/Utils.h"
#include "app/platform/SingleInstance.h"

#include <QTimer>

#if __has_include(<QApplication>)
#include "service/FileService.h"
#include "ui/windows/CQuorvaneDlg.h"

#include <QApplication>
#include <QDialog>
#define QUORVANE_MAIN_WINDOW 1
using PlaceholderApplication = QApplication;
using PlaceholderWindow = QDialog;
// Restore, raise and alert: what a second copy asks of the first.
void bringToFront(QDialog& dialog) {
    dialog.setWindowState(dialog.windowState() & ~Qt::WindowMinimized);
    dialog.raise();
    dialog.activateWindow();
    QApplication::alert(&dialog);
}
#else
// Built without the widget library: a plain window stands in.
#include <QEventLoop>
#include <QGuiApplication>
#include <QWindow>
using PlaceholderApplication = QGuiApplication;
class PlaceholderWindow : public QWindow {
public:
    void exec() {
        QEventLoop loop;
        QObject::connect(this, &QWindow::visibleChanged, &loop, [&loop](bool visible) {
            if (!visible)
                loop.quit();
        });
        show();
        loop.exec();
    }
    void accept() { close(); }
    void setWindowTitle(const QString& title) { setTitle(title); }
    void move(const QPoint& at) { setPosition(at); }
    friend void bringToFront(PlaceholderWindow& window) {
        window.setWindowStates(window.windowStates() & ~Qt::WindowMinimized);
        window.raise();
        window.requestActivate();
        window.alert(0);
    }
    void reject() { close(); }
};
#endif

#include <cstdio>

namespace {
bool testExitAfterShow() { return qEnvironmentVariableIntValue("QUORVANE_TEST_EXIT_AFTER_SHOW") == 1; }

// Stands in for the main window until it exists: placed at the launch position, kept on a screen.
void runPlaceholderWindow(const MainWindowRequest& request) {
    PlaceholderWindow dialog;
    dialog.setWindowTitle(QStringLiteral("Cloffa - Tavirun"));
    dialog.resize(420, 300);
    const QRect placed = ClampRectToMonitor(QRect(QPoint(request.left, request.top), dialog.size()));
    dialog.move(placed.topLeft());
    if (request.instance) {
        QObject::connect(request.instance, &SingleInstance::activateRequested, &dialog, [&dialog] {
            bringToFront(dialog);
            if (testExitAfterShow()) {
                std::printf("activated\n");
                std::fflush(stdout);
            }
        });
        QObject::connect(request.instance, &SingleInstance::logoutRequested, &dialog, &PlaceholderWindow::reject);
    }
    if (testExitAfterShow()) {
        // Test hook: report the window and its settings, optionally change them, then close.
        QTimer::singleShot(0, &dialog, [&dialog, placed] {
            SessionStore& store = SessionStore::instance();
            std::printf("main window shown\nposition %d %d\n", placed.x(), placed.y());
            std::printf("download_folder=%s\nalways_top=%d\n", store.GetDownloadFolder().toUtf8().constData(),
                        store.GetAlwaysOnTop());
#ifdef QUORVANE_MAIN_WINDOW
            if (qEnvironmentVariableIntValue("QUORVANE_TEST_LIST_CALL") == 1) {
                FileService service;
                const FileListResult list = service.GetUserFiles(store);
                std::printf("list error=%d files=%d\n", list.error, int(list.files.size()));
            }
#endif
            std::fflush(stdout);
            const QString folder = qEnvironmentVariable("QUORVANE_TEST_SET_FOLDER");
            if (!folder.isEmpty())
                store.SetDownloadFolder(folder);
            if (qEnvironmentVariableIntValue("QUORVANE_TEST_TOGGLE_TOP") == 1)
                store.ToggleAlwaysOnTop();
            const int stayMs = qEnvironmentVariableIntValue("QUORVANE_TEST_STAY_MS");
            QTimer::singleShot(stayMs, &dialog, &PlaceholderWindow::accept);
        });
    }
    dialog.exec();
}
} // namespace

int main(int argc, char** argv) {
    // First, so that even the application object's complaints reach the file.
    Log::Install();
    PlaceholderApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.brellow.Quorvane"));
    // The command line holds the launch token: it is never logged.
    qCInfo(lcApp, "Quorvane %s started", QUORVANE_VERSION);
    // Settings are loaded here and written back when the store goes away after the window closed.
    SessionStore store;
#ifdef QUORVANE_MAIN_WINDOW
    // The start-up tests' hook keeps its stand-in; everyone else gets the real window.
    const MainWindowFactory factory = testExitAfterShow() ? MainWindowFactory(&runPlaceholderWindow)
                                                          : MainWindowFactory(&RunMainWindow);
#else
    const MainWindowFactory factory = &runPlaceholderWindow;
#endif
    CQuorvaneApp app(store, factory);
    const int code = app.Run();
    qCInfo(lcApp, "Quorvane ended, outcome %d", int(app.LastOutcome()));
    return code;
}
