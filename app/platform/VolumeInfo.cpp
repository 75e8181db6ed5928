#include "app/platform/VolumeInfo.h"

#include <sys/statvfs.h>

quint32 VolumeInfo::SystemVolumeSerial() {
    struct statvfs st {};
    if (::statvfs("/", &st) != 0)
        return 0;
    return static_cast<quint32>(st.f_fsid & 0xFFFFFFFFu);
}
