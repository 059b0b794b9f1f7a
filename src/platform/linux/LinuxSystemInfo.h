#pragma once

#include "platform/SystemInfo.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// A filesystem the gauge can graph, as chosen from the mount table.
struct DriveMount {
    QChar letter; // 'C' for "/", then 'D'... in mount-point order
    QString mountPoint;
    QString device; // "major:minor" as the mount table gives it
    bool network = false;
};

// Memory figures from the text of /proc/meminfo; nothing when MemTotal is missing or zero.
std::optional<MemoryStatus> ParseMemInfo(const QByteArray &meminfo);

// The drives from the text of /proc/self/mountinfo. "/" is always C, even when the table does
// not list it. D onwards are the other block-device and network filesystems in mount-point
// order, each filesystem once (bind mounts and subvolumes share their device's free space), without
// squashfs images, /boot and the system trees (/proc, /sys, /dev, /run, /snap). Letters stop at Z.
QList<DriveMount> ParseMountInfo(const QByteArray &mountinfo);

class LinuxSystemInfo : public ISystemInfo {
public:
    MemoryStatus Memory() override;
    QList<DriveInfo> Drives() override;
    QString UserName() override;
    int ScreenHeight() override;
    int UsableScreenWidth() override;
    int MenuBarHeight() override;
};
