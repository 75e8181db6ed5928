#include "ui/windows/DemoDriver.h"

#include "app/SessionStore.h"
#include "app/platform/SingleInstance.h"
#include "ui/MessageBox.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/windows/CFilelistDlg.h"
#include "ui/windows/CQuorvaneDlg.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kSettleMs = 600;

bool Busy(CQuorvaneDlg* window) {
    return SessionStore::instance().AnyTransferActive() || !window->FileList()->isEnabled();
}

bool SelectByName(CFilelistDlg* list, const QString& name) {
    const std::vector<FileRow> rows = SessionStore::instance().Files();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].name == name) {
            CThemeListCtrl* view = list->List();
            view->clearSelection();
            view->selectionModel()->select(view->model()->index(static_cast<int>(i), 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
            view->scrollTo(view->model()->index(static_cast<int>(i), 0));
            return true;
        }
    }
    return false;
}

} // namespace

void DemoDriver::StartIfRequested(CQuorvaneDlg* window) {
    static bool started = false;
    const QString script = qEnvironmentVariable("QUORVANE_DEMO_SCRIPT");
    if (started || script.isEmpty())
        return;
    started = true;
    QFile file(script);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QStringList steps;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (!line.trimmed().isEmpty() && !line.startsWith(u'#'))
            steps << line.trimmed();
    }
    const QString shots = qEnvironmentVariable("QUORVANE_DEMO_SHOTS", QDir::currentPath());
    auto* driver = new DemoDriver(window, steps, shots);
    QTimer::singleShot(kSettleMs, driver, &DemoDriver::Next);
}

DemoDriver::DemoDriver(CQuorvaneDlg* window, const QStringList& steps, const QString& shotFolder)
    : QObject(window), m_window(window), m_steps(steps), m_shotFolder(shotFolder) {}

void DemoDriver::Next() {
    if (Busy(m_window)) {
        QTimer::singleShot(100, this, &DemoDriver::Next);
        return;
    }
    if (m_done > 0)
        Shot(QStringLiteral("%1-%2")
                 .arg(m_done, 2, 10, QLatin1Char('0'))
                 .arg(m_steps.at(m_done - 1).section(u'\t', 0, 0).section(u' ', 0, 0)));
    if (m_done >= m_steps.size())
        return;
    const QString step = m_steps.at(m_done++);
    std::printf("demo: %s\n", step.toUtf8().constData());
    std::fflush(stdout);
    RunStep(step);
    QTimer::singleShot(kSettleMs, this, &DemoDriver::Next);
}

void DemoDriver::RunStep(const QString& step) {
    const QStringList words = step.split(u'\t').size() > 1 ? step.split(u'\t') : step.split(u' ');
    const QString verb = words.value(0);
    CFilelistDlg* list = m_window->FileList();
    if (verb == u"list") {
        list->RefreshList();
    } else if (verb == u"upload") {
        CFilelistDlg::QueueOpenFileAnswer(words.mid(1));
        list->Button(CFilelistDlg::kUploadId)->click();
    } else if (verb == u"download" && words.size() >= 3) {
        const QString folder = words.last();
        if (!SelectByName(list, words.mid(1, words.size() - 2).join(u' ')))
            return;
        CFilelistDlg::SetFolderChooser([folder](QWidget*, int, QString* chosen, bool* openFolder) {
            *chosen = folder;
            *openFolder = false;
            return true;
        });
        list->Button(CFilelistDlg::kDownloadId)->click();
        CFilelistDlg::SetFolderChooser({});
    } else if (verb == u"delete" && words.size() >= 2) {
        if (!SelectByName(list, words.mid(1).join(u' ')))
            return;
        MessageBox::setNextAnswer(MessageAnswer::Yes);
        list->Button(CFilelistDlg::kDeleteId)->click();
    } else if (verb == u"logout") {
        // What the toolbar does, over the session bus, without waiting for our own answer.
        QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
            QLatin1String(kQuorvaneService), QLatin1String(kQuorvanePath), QLatin1String(kQuorvaneInterface),
            QStringLiteral("Logout")));
    }
}

void DemoDriver::Shot(const QString& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QDir().mkpath(m_shotFolder);
    const QString path = QDir(m_shotFolder).filePath(name + QStringLiteral(".png"));
    if (screen->grabWindow(0).save(path)) {
        std::printf("screenshot: %s\n", path.toUtf8().constData());
        std::fflush(stdout);
    }
}
