#pragma once
// Start-up: single instance, command line, launch token, session, then the main window.
#include <QString>
#include <QStringList>

#include <functional>

class SessionStore;
class SingleInstance;
class ToolbarSessionClient;

struct MainWindowRequest {
    qint32 left = 0;
    qint32 top = 0;
    SingleInstance* instance = nullptr; // its activate and logout requests go to the window
    SessionStore* store = nullptr;      // the loaded session; outlives the window
};
// Shows the main window and returns once it closed.
using MainWindowFactory = std::function<void(const MainWindowRequest&)>;

class CQuorvaneApp {
public:
    enum class Outcome {
        NotRun,
        SecondCopy,
        NoBus,
        BadCommandLine,
        SessionRefused,
        WindowShown,
        FilesSent,
        FilesNoCopy,
        FilesRefused, // files handed over from a file manager, or not
    };

    CQuorvaneApp(SessionStore& store, MainWindowFactory factory);
    // Exit code of the program: 0, failures of start-up end silently. Files sent from a file manager
    // ("quorvane <files…>") go to the running copy; when none takes them the desktop says so and the
    // code is 1.
    // `arguments` as the process got them, program path first.
    int Run(const QStringList& arguments);
    int Run(); // with the process's own arguments
    Outcome LastOutcome() const { return m_outcome; }

private:
    int SendFiles(const QStringList& paths);

    SessionStore& m_store;
    MainWindowFactory m_factory;
    Outcome m_outcome = Outcome::NotRun;
};
