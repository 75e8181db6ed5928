#include "app/Settings.h"

#include <QSettings>

namespace {
constexpr int kOk = 0;
constexpr int kNotFound = 2;   // ERROR_FILE_NOT_FOUND
constexpr int kAccessDenied = 5;

QSettings open() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brellow"),
                     QStringLiteral("TaviRun"));
}
const QString kDownloadPath = QStringLiteral("Cloffa/download_path");
const QString kAlwaysTop = QStringLiteral("Cloffa/always_top");
constexpr int kMaxPath = 260;
} // namespace

QString GetSettingsKeyPath() { return QStringLiteral("Cloffa"); }

int ReadDownloadPath(QString& out) {
    QSettings s = open();
    if (!s.contains(kDownloadPath))
        return kNotFound;
    // The value is read into a 260-character buffer: longer texts are cut there.
    out = s.value(kDownloadPath).toString().left(kMaxPath - 1);
    return kOk;
}

int WriteDownloadPath(const QString& text) {
    QSettings s = open();
    s.setValue(kDownloadPath, text);
    s.sync();
    return s.status() == QSettings::NoError ? kOk : kAccessDenied;
}

int ReadAlwaysTop(int& out) {
    QSettings s = open();
    if (!s.contains(kAlwaysTop))
        return kNotFound;
    bool ok = false;
    const int v = s.value(kAlwaysTop).toInt(&ok);
    if (!ok)
        return kNotFound;
    out = v;
    return kOk;
}

int WriteAlwaysTop(int value) {
    QSettings s = open();
    s.setValue(kAlwaysTop, value);
    s.sync();
    return s.status() == QSettings::NoError ? kOk : kAccessDenied;
}
