#include "app/platform/VolumeInfo.h"

#include <atomic>

#include <sys/statvfs.h>

namespace {
std::atomic<bool> g_hasOverride{false};
std::atomic<quint32> g_override{0};
} // namespace

quint32 VolumeInfo::SystemVolumeSerial() {
    if (g_hasOverride.load())
        return g_override.load();
    struct statvfs st {};
    if (::statvfs("/", &st) != 0)
        return 0;
    return static_cast<quint32>(st.f_fsid & 0xFFFFFFFFu);
}

void VolumeInfo::SetSerialOverride(std::optional<quint32> serial) {
    g_override.store(serial.value_or(0));
    g_hasOverride.store(serial.has_value());
}
