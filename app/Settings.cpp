#include "app/Settings.h"

#include <QSettings>

namespace {
constexpr int kOk = 0;
constexpr int kNotFound = 2; // ERROR_FILE_NOT_FOUND
constexpr int kAccessDenied = 5;
constexpr int kMoreData = 234; // ERROR_MORE_DATA

QSettings open() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brellow"),
                     QStringLiteral("TaviRun"));
}
const QString kDownloadPath = QStringLiteral("Cloffa/download_path");
const QString kAlwaysTop = QStringLiteral("Cloffa/always_top");
constexpr int kMaxPath = 260;
} // namespace

QString GetSettingsKeyPath() {
    return QStringLiteral("Cloffa");
}

int ReadDownloadPath(QString& out) {
    QSettings s = open();
    if (!s.contains(kDownloadPath))
        return kNotFound;
    // The value is read into a 260-character buffer: a longer text does not fit and is not read (a cut
    // path would name another folder); the caller falls back to the documents folder.
    const QString value = s.value(kDownloadPath).toString();
    if (value.size() > kMaxPath - 1)
        return kMoreData;
    out = value;
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
