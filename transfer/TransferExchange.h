#pragma once
// The batch workers and the single-file exchanges. They run on the transfer thread, report through the
// job's reporter and touch the shared state only through SessionStore's locked accessors.
#include "transfer/TransferJob.h"

void RunDownloadBatch(TransferJob& job);
void RunUploadBatch(TransferJob& job);
TransferResult DownloadFile(TransferJob& job, const QString& name, int nNo, int aNo, qint32 fileIndex);
TransferResult UploadFile(TransferJob& job, const TransferItem& item, int nNo, int aNo, int mode);
