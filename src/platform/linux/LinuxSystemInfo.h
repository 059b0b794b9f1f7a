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
    QChar letter; // 'C' for "/", then 'D'..., see DriveLetters
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

// The filesystems of the text of /proc/self/mountinfo, without letters: "/" first, even when
// the table does not list it, then the other block-device and network filesystems in
// mount-point order, each filesystem once (bind mounts and subvolumes share their device's free
// space), without squashfs images, /boot and the system trees (/proc, /sys, /dev, /run, /snap).
QList<DriveMount> MountedFilesystems(const QByteArray &mountinfo);

// Hands out the drive letters within one running program. "/" is C; a mount point keeps the
// letter it was first given for as long as the program runs, also while it is unmounted, so a
// mount or an unmount elsewhere never makes a letter mean another filesystem (a gauge on "E"
// would silently read it). New mount points take the lowest letter never given, in mount-point
// order; once all are given, the letters of mount points that are gone are given again. Past Z a
// filesystem has no drive.
class DriveLetters {
public:
    // The mounts with their letters, in letter order.
    QList<DriveMount> Assign(const QList<DriveMount> &mounts);

private:
    std::map<QString, QChar> letters_; // mount point -> letter, mounted or not
};

// The drives of one reading of the table, lettered in mount-point order: C to Z.
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
    QChar LetterOf(const QString &mountPoint) override;
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
    DriveLetters letters_;
    FilesystemFigures figures_;
};
