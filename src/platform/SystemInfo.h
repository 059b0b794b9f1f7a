#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QtGlobal>

struct MemoryStatus {
    int load = 0;          // percent of memory in use
    quint64 totalPhys = 0; // bytes
};

// The kinds of drive, numbered as the drive component reports them.
enum class DriveType { Unknown, NoRootDir, Removable, Fixed, Remote, CdRom, RamDisk };

struct DriveInfo {
    QChar letter;        // 'C' for "/", 'D'... for the other real filesystems
    QString mountPoint;
    quint64 total = 0;   // bytes; 0 when the filesystem did not answer
    quint64 free = 0;    // bytes an ordinary user may still write; 0 likewise
    DriveType type = DriveType::Fixed;
};

// Machine, user and screen facts.
class ISystemInfo {
public:
    virtual ~ISystemInfo() = default;
    virtual MemoryStatus Memory() = 0;
    virtual QList<DriveInfo> Drives() = 0;
    // One drive by its letter: type NoRootDir and no figures when no filesystem has it. A
    // filesystem that does not answer in time (a network server gone) gives 0 bytes at once.
    virtual DriveInfo Drive(QChar letter) {
        for (const DriveInfo &drive : Drives())
            if (drive.letter == letter)
                return drive;
        DriveInfo none;
        none.letter = letter;
        none.type = DriveType::NoRootDir;
        return none;
    }
    // The letter of the drive mounted at mountPoint, without measuring it; a null QChar when
    // no drive is mounted there. A mount point keeps its letter for as long as the program runs.
    virtual QChar LetterOf(const QString &mountPoint) {
        for (const DriveInfo &drive : Drives())
            if (drive.mountPoint == mountPoint)
                return drive.letter;
        return QChar();
    }
    // The login name; empty when it cannot be found.
    virtual QString UserName() = 0;
    virtual int ScreenHeight() = 0;
    // Width of the screen's client area, without panels.
    virtual int UsableScreenWidth() = 0;
    // Height of a window's title bar, the "menu height" of the bar's geometry.
    virtual int MenuBarHeight() = 0;
    // The screens' areas on the desktop, the primary one first.
    virtual QList<QRect> Screens() = 0;
};
