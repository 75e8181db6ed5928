#pragma once
// Results of the file service calls as plain values; absent texts become empty strings.
#include <QString>
#include <QtGlobal>

#include <vector>

struct ServiceFileEntry {
    qint32 idx = 0;
    QString fileName;
    qint32 fileSize = 0;
    QString regDate;
    qint32 sidx = 0;
};

struct ServiceQuota {
    qint32 userSize = 0;
    qint32 userFree = 0;
    bool present = false;
};

struct FileListResult {
    int error = 0;
    std::vector<ServiceFileEntry> files; // absent entries are skipped
    ServiceQuota quota;
    bool hasFileArray = false; // false = the service did not carry out the request
};

struct BoolResult {
    int error = 0;
    bool value = false;
};
