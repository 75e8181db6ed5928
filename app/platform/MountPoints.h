#pragma once
// The mounted file systems a user can drop files into (USB sticks under /media, a tmpfs at /mnt,
// network shares), read from the kernel's mount table. System and read-only mounts are left out.
#include <QString>
#include <QStringList>

// `mountInfo` is the text of /proc/self/mountinfo; the mount points come out in table order.
QStringList WritableMountPoints(const QString& mountInfo);
// The same for this process's own mount table.
QStringList WritableMountPoints();
