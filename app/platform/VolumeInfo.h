#pragma once
// The serial number of the system volume, which binds the launch key to the machine.
#include <QtGlobal>

class VolumeInfo {
public:
    // Low 32 bits of the file system id of "/"; 0 when it cannot be read.
    static quint32 SystemVolumeSerial();
};
