#include "ui/windows/DemoDriver.h"

#include "app/SessionStore.h"
#include "res/Strings.h"
#include "ui/MessageBox.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/windows/CFilelistDlg.h"
#include "ui/windows/CQuorvaneDlg.h"

#ifdef QUORVANE_HAVE_TRANSFER_DIALOG
#include "ui/dialogs/CConfirmReplacefileDlg.h"
#endif

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPixmap>
#include <QRect>
#include <QProcess>
#include <QScreen>

#include <cstdio>

namespace {

constexpr int kSettleMs = 600;
constexpr int kPollMs = 100;
constexpr int kBackstopGraceMs = 15000;

void Say(const QString& text) {
    std::printf("demo: %s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

bool Busy(CQuorvaneDlg* window) {
    return SessionStore::instance().AnyTransferActive() || !window->FileList()->isEnabled();
}

bool Listed(const QString& name) {
    return SessionStore::instance().FindFileByName(name).has_value();
}

// Selects exactly the rows of these names; the first name not listed is returned in `missing`.
bool SelectByNames(CFilelistDlg* list, const QStringList& names, QString* missing) {
    const std::vector<FileRow> rows = SessionStore::instance().Files();
    CThemeListCtrl* view = list->List();
    view->clearSelection();
    for (const QString& name : names) {
        bool found = false;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].name != name)
                continue;
            const QModelIndex index = view->model()->index(static_cast<int>(i), 0);
            view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            view->scrollTo(index);
            found = true;
            break;
        }
        if (!found) {
            *missing = name;
            return false;
        }
    }
    return true;
}

QStringList FileNames(const QStringList& paths) {
    QStringList names;
    for (const QString& path : paths)
        names << QFileInfo(path).fileName();
    return names;
}

void ClearAnswers() {
    MessageBox::clearNextAnswers();
#ifdef QUORVANE_HAVE_TRANSFER_DIALOG
    CConfirmReplacefileDlg::clearNextAnswers();
#endif
}

} // namespace

void DemoDriver::StartIfRequested(CQuorvaneDlg* window) {
    static bool started = false;
    const QString script = qEnvironmentVariable("QUORVANE_DEMO_SCRIPT");
    if (started || script.isEmpty())
        return;
    started = true;
    QFile file(script);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "demo: cannot read the script %s\n", script.toUtf8().constData());
        std::fflush(stderr);
        std::_Exit(kFailStatus);
    }
    QStringList steps;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (!line.trimmed().isEmpty() && !line.startsWith(u'#'))
            steps << line.trimmed();
    }
    const QString shots = qEnvironmentVariable("QUORVANE_DEMO_SHOTS", QDir::currentPath());
    // Owned by the application, so it sees the window go at the end of the session.
    new DemoDriver(window, steps, shots);
}

DemoDriver::DemoDriver(CQuorvaneDlg* window, const QStringList& steps, const QString& shotFolder)
    : QObject(QCoreApplication::instance()), m_window(window), m_steps(steps), m_shotFolder(shotFolder) {
    const int seconds = qEnvironmentVariableIntValue("QUORVANE_DEMO_STEP_TIMEOUT");
    if (seconds > 0)
        m_stepTimeoutMs = seconds * 1000;
    connect(window, &QObject::destroyed, this, &DemoDriver::OnWindowGone);
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &DemoDriver::Poll);
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &DemoDriver::OnWatchdog);
    m_backstopDeadline = std::chrono::steady_clock::time_point::max();
    m_backstop = std::thread([this] {
        std::unique_lock lock(m_backstopMutex);
        while (!m_backstopStop) {
            if (m_backstopWake.wait_until(lock, m_backstopDeadline) == std::cv_status::timeout &&
                !m_backstopStop && std::chrono::steady_clock::now() >= m_backstopDeadline) {
                std::fprintf(stderr, "demo: the program stopped answering (no step end for %d s)\n",
                             (m_stepTimeoutMs + kBackstopGraceMs) / 1000);
                std::fflush(stderr);
                std::_Exit(kFailStatus + 1);
            }
        }
    });
    QTimer::singleShot(kSettleMs, this, &DemoDriver::StartStep);
}

DemoDriver::~DemoDriver() {
    {
        std::lock_guard lock(m_backstopMutex);
        m_backstopStop = true;
    }
    m_backstopWake.notify_all();
    m_backstop.join();
}

void DemoDriver::ArmBackstop(int ms) {
    {
        std::lock_guard lock(m_backstopMutex);
        m_backstopDeadline = ms < 0 ? std::chrono::steady_clock::time_point::max()
                                    : std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    }
    m_backstopWake.notify_all();
}

QString DemoDriver::StepName() const {
    return QStringLiteral("%1-%2").arg(m_index + 1, 2, 10, QLatin1Char('0')).arg(m_words.value(0));
}

void DemoDriver::StartStep() {
    ++m_index;
    if (m_index >= m_steps.size()) {
        m_finished = true;
        ArmBackstop(-1);
        Say(QStringLiteral("all steps done"));
        return;
    }
    const QString step = m_steps.at(m_index);
    m_words = step.split(u'\t');
    if (m_words.size() == 1)
        m_words = step.split(u' ', Qt::SkipEmptyParts);
    m_acted = false;
    m_logoutShot = false;
    m_waitingFor = QStringLiteral("the step to start");
    m_shownBefore = static_cast<int>(MessageBox::shown().size());
    Say(QStringLiteral("step %1: %2").arg(m_index + 1).arg(m_words.join(u' ')));
    m_watchdog.start(m_stepTimeoutMs);
    ArmBackstop(m_stepTimeoutMs + kBackstopGraceMs);
    // Acting from a fresh event keeps the clicks' own waits off this call chain; polling goes on inside them.
    QTimer::singleShot(0, this, &DemoDriver::Act);
    m_poll.start();
}

void DemoDriver::Act() {
    const QString verb = m_words.value(0);
    const QStringList args = m_words.mid(1);
    CFilelistDlg* list = m_window->FileList();
    ClearAnswers();
    if (verb == u"list") {
        m_waitingFor = QStringLiteral("the file list");
        list->RefreshList();
    } else if (verb == u"upload" && !args.isEmpty()) {
        m_waitingFor = QStringLiteral("the upload of %1 and the list after it").arg(FileNames(args).join(u", "));
        // The session deletes what it uploaded, so it must never replace a file that was there before.
        for (const QString& name : FileNames(args)) {
            if (Listed(name))
                Fail(QStringLiteral("%1 is already stored; the demo replaces no stored file").arg(name),
                     QStringLiteral("failed"));
        }
        // The space question (when the quota looks short) and a replace question per file, should one
        // still come (a file stored meanwhile by someone else).
        MessageBox::setNextAnswer(MessageAnswer::Yes);
#ifdef QUORVANE_HAVE_TRANSFER_DIALOG
        for (qsizetype i = 0; i < args.size(); ++i)
            CConfirmReplacefileDlg::setNextAnswer(CConfirmReplacefileDlg::Answer::Yes);
#endif
        CFilelistDlg::ClearOpenFileAnswers();
        CFilelistDlg::QueueOpenFileAnswer(args);
        list->Button(CFilelistDlg::kUploadId)->click();
    } else if (verb == u"download" && args.size() >= 2) {
        const QString folder = args.last();
        const QStringList names = args.mid(0, args.size() - 1);
        m_waitingFor = QStringLiteral("the download of %1 into %2").arg(names.join(u", "), folder);
        QString missing;
        if (!SelectByNames(list, names, &missing))
            Fail(QStringLiteral("%1 is not in the list").arg(missing), QStringLiteral("failed"));
#ifdef QUORVANE_HAVE_TRANSFER_DIALOG
        for (qsizetype i = 0; i < names.size(); ++i)
            CConfirmReplacefileDlg::setNextAnswer(CConfirmReplacefileDlg::Answer::Yes);
#endif
        CFilelistDlg::SetFolderChooser([folder](QWidget*, int, QString* chosen, bool* openFolder) {
            *chosen = folder;
            *openFolder = false;
            return true;
        });
        list->Button(CFilelistDlg::kDownloadId)->click();
        CFilelistDlg::SetFolderChooser({});
    } else if (verb == u"delete" && !args.isEmpty()) {
        m_waitingFor = QStringLiteral("the delete of %1 and the list after it").arg(args.join(u", "));
        QString missing;
        if (!SelectByNames(list, args, &missing))
            Fail(QStringLiteral("%1 is not in the list").arg(missing), QStringLiteral("failed"));
        MessageBox::setNextAnswer(MessageAnswer::Yes);
        list->Button(CFilelistDlg::kDeleteId)->click();
    } else if (verb == u"logout" && args.size() == 1) {
        m_waitingFor = QStringLiteral("the logout notice and the window to close");
        // What the toolbar does: its logout command tells us over the session bus.
        if (!QProcess::startDetached(args.at(0), {QStringLiteral("logout")}))
            Fail(QStringLiteral("cannot run %1 logout").arg(args.at(0)), QStringLiteral("failed"));
    } else {
        Fail(QStringLiteral("unknown step \"%1\"").arg(m_words.join(u' ')), QStringLiteral("failed"));
    }
    m_acted = true;
}

bool DemoDriver::StepDone(QString* failure) {
    // Every box the session meets was answered in advance; one left on screen means something went wrong.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != m_window) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        *failure = QStringLiteral("an unexpected %1 is open: %2")
                       .arg(QString::fromLatin1(modal->metaObject()->className()),
                            box ? box->text() : modal->windowTitle());
        return false;
    }
    // Boxes answered without a window (scripted, or the offscreen platform): only the questions were expected.
    const QList<MessageBox::Shown> shown = MessageBox::shown();
    for (qsizetype i = m_shownBefore; i < shown.size(); ++i) {
        const QString& text = shown.at(i).text;
        if (text == Strings::DeleteQuestion || text == Strings::UploadSpaceQuestion)
            continue;
        *failure = QStringLiteral("the program said: %1").arg(QString(text).replace(u'\n', u' '));
        return false;
    }
    if (!m_acted)
        return false;
    const QString verb = m_words.value(0);
    const QStringList args = m_words.mid(1);
    if (verb == u"logout")
        return m_window->LogoutCloseScheduled() || m_window->Closed();
    if (Busy(m_window))
        return false;
    if (verb == u"upload") {
        for (const QString& name : FileNames(args)) {
            if (!Listed(name)) {
                *failure = QStringLiteral("%1 is not listed after the upload").arg(name);
                return false;
            }
        }
    } else if (verb == u"download") {
        for (const QString& name : args.mid(0, args.size() - 1)) {
            if (!QFileInfo::exists(QDir(args.last()).filePath(name))) {
                *failure = QStringLiteral("%1 was not downloaded").arg(name);
                return false;
            }
        }
    } else if (verb == u"delete") {
        for (const QString& name : args) {
            if (Listed(name)) {
                *failure = QStringLiteral("%1 is still listed after the delete").arg(name);
                return false;
            }
        }
    }
    return true;
}

void DemoDriver::Poll() {
    if (m_finished)
        return;
    QString failure;
    if (StepDone(&failure)) {
        FinishStep();
        return;
    }
    if (!failure.isEmpty())
        Fail(failure, QStringLiteral("failed"));
}

void DemoDriver::FinishStep() {
    m_poll.stop();
    ClearAnswers();
    const QString verb = m_words.value(0);
    if (verb == u"list") {
        Say(QStringLiteral("%1 files listed").arg(SessionStore::instance().FileCount()));
    } else if (verb == u"upload") {
        // The new rows in view for the screenshot.
        QString missing;
        SelectByNames(m_window->FileList(), FileNames(m_words.mid(1)), &missing);
    }
#ifdef QUORVANE_HAVE_TRANSFER_DIALOG
    for (const CConfirmReplacefileDlg::Asked& asked : CConfirmReplacefileDlg::asked())
        Say(QStringLiteral("answered the replace question: %1").arg(QString(asked.text).replace(u'\n', u' ')));
    CConfirmReplacefileDlg::clearAsked();
#endif
    // The screenshot once the window has repainted.
    QTimer::singleShot(kSettleMs, this, [this, verb] {
        Shot(StepName());
        if (verb == u"logout") {
            m_logoutShot = true;  // the step ends when the window has gone (watchdog still running)
            m_waitingFor = QStringLiteral("the window to close after the logout");
            return;
        }
        m_watchdog.stop();
        StartStep();
    });
}

void DemoDriver::OnWindowGone() {
    m_window = nullptr;
    if (m_finished)
        return;
    if (m_words.value(0) == u"logout" && m_index == m_steps.size() - 1) {
        m_poll.stop();
        m_watchdog.stop();
        if (!m_logoutShot)
            Shot(StepName());
        m_finished = true;
        ArmBackstop(-1);
        Say(QStringLiteral("all steps done"));
        return;
    }
    Fail(QStringLiteral("the main window closed"), QStringLiteral("failed"));
}

void DemoDriver::OnWatchdog() {
    Fail(QStringLiteral("no end within %1 s; waited for %2").arg(m_stepTimeoutMs / 1000).arg(m_waitingFor),
         QStringLiteral("timeout"));
}

void DemoDriver::Fail(const QString& why, const QString& shotSuffix) {
    const QString shot = Shot(StepName() + u'-' + shotSuffix);
    std::fprintf(stderr, "demo: step %d (%s) FAILED: %s\n", m_index + 1, m_words.join(u' ').toUtf8().constData(),
                 why.toUtf8().constData());
    if (!shot.isEmpty())
        std::fprintf(stderr, "demo: the screen at that moment: %s\n", shot.toUtf8().constData());
    std::fflush(stdout);
    std::fflush(stderr);
    // Not a normal close: windows, workers and modal loops may be in any state, so nothing is unwound.
    std::_Exit(kFailStatus);
}

QString DemoDriver::Shot(const QString& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    QDir().mkpath(m_shotFolder);
    const QString path = QDir(m_shotFolder).filePath(name + QStringLiteral(".png"));
    // The part of the screen our windows cover, with a margin; the whole screen when none is shown.
    QRect area;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            area |= widget->frameGeometry();
    }
    area = area.isEmpty() ? screen->geometry() : area.adjusted(-24, -24, 24, 24) & screen->geometry();
    if (!screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path))
        return {};
    Say(QStringLiteral("screenshot %1").arg(path));
    return path;
}
