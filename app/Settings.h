#pragma once
// The two persisted settings: "download_path" and "always_top" in group "Cloffa" of the
// Brellow/TaviRun user settings. Each returns 0 on success (callers ignore failures).
#include <QString>

QString GetSettingsKeyPath(); // "SoftWare\\Brellow\\TaviRun\\Cloffa" on Windows; the group name here
int ReadDownloadPath(QString& out);
int WriteDownloadPath(const QString& text);
int ReadAlwaysTop(int& out);
int WriteAlwaysTop(int value);
