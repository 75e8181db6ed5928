#pragma once
#include <QString>
#include <QtGlobal>

// One row of the shared file list.
struct FileRow {
    qint32 iconIndex = 0;
    qint32 idx = -1; // the service's file index; -1 = none
    QString name;
    qint32 size = 0; // bytes, as the service sends it
    QString regDate; // 8 characters, e.g. "08-05-21"
};
