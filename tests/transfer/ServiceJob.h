#pragma once
// A transfer job aimed at the local service, with the run gate open: a batch opens it itself, single
// calls need it open.
#include "tools/cloffa-service/LocalService.h"
#include "transfer/TransferJob.h"

inline void PrepareServiceJob(TransferJob& job, const cloffa::LocalService& service, const QString& session,
                              const QString& destFolder, TransferReporter* reporter) {
    job.baseUrl = QString::fromStdString(service.baseUrl());
    job.caFile = QString::fromStdString(service.caFile().string());
    job.sessionValue = session;
    job.reporter = reporter;
    job.destFolder = destFolder;
    job.runEvent.set();
}
