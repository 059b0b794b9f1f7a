#pragma once

#include "platform/SystemInfo.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>

// A filesystem the gauge can graph, as chosen from the mount table.
struct DriveMount {
    QChar letter; // 'C' for "/", then 'D'... in mount-point order
    QString mountPoint;
    QString device; // "major:minor" as the mount table gives it
    bool network = false;
    // A network or user-space filesystem: asking it for its figures can take as long as its
    // server takes to answer, or for ever.
    bool mayBlock = false;
    DriveType type = DriveType::Fixed; // from the filesystem's type; removable media and RAM
                                       // disks are told by the device, see LinuxSystemInfo
};

// Memory figures from the text of /proc/meminfo; nothing when MemTotal is missing or zero.
std::optional<MemoryStatus> ParseMemInfo(const QByteArray &meminfo);

// The drives from the text of /proc/self/mountinfo. "/" is always C, even when the table does
// not list it. D onwards are the other block-device and network filesystems in mount-point
// order, each filesystem once (bind mounts and subvolumes share their device's free space), without
// squashfs images, /boot and the system trees (/proc, /sys, /dev, /run, /snap). Letters stop at Z.
QList<DriveMount> ParseMountInfo(const QByteArray &mountinfo);

// Asks filesystems for their size and free space. A filesystem that may block is asked on a
// thread of its own, given a time limit; until it answers it reports nothing, and a question
// still waiting is not asked again.
class FilesystemFigures {
public:
    struct Figures {
        quint64 total = 0;
        quint64 free = 0;
    };
    explicit FilesystemFigures(int limitMs = 200) : limitMs_(limitMs) {}
    std::optional<Figures> Ask(const QString &mountPoint, bool mayBlock);
    // For tests: a question that never returns, standing in for a dead server.
    std::function<std::optional<Figures>(const QByteArray &path)> query;

private:
    struct Waiting;
    int limitMs_;
    std::map<QString, std::shared_ptr<Waiting>> waiting_;
};

class LinuxSystemInfo : public ISystemInfo {
public:
    LinuxSystemInfo();
    ~LinuxSystemInfo() override;
    MemoryStatus Memory() override;
    QList<DriveInfo> Drives() override;
    DriveInfo Drive(QChar letter) override;
    QString UserName() override;
    int ScreenHeight() override;
    int UsableScreenWidth() override;
    int MenuBarHeight() override;
    QList<QRect> Screens() override;

private:
    // The drives of the mount table, read again only when the kernel says it changed.
    const QList<DriveMount> &Mounts();
    DriveInfo Measure(const DriveMount &mount);
    int mountTable_ = -1;
    bool mountsRead_ = false;
    QList<DriveMount> mounts_;
    FilesystemFigures figures_;
};
