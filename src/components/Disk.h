#pragma once

#include "platform/SystemInfo.h"

#include <QObject>
#include <QString>

// Size, free space and kind of one drive, chosen by its letter. Setting the letter measures
// the drive; the figures are 64-bit, so large disks are reported whole.
class TDISK : public QObject {
    Q_OBJECT
public:
    // Numbered as the system numbers the kinds of drive.
    enum TDISKTYPE {
        DT_UNKNOWN,
        DT_NOROOTDIR,
        DT_REMOVABLE,
        DT_FIXED,
        DT_REMOTE,
        DT_CDROM,
        DT_RAMDISK
    };
    Q_ENUM(TDISKTYPE)
    Q_PROPERTY(QString DriveLetter READ DriveLetter WRITE setDriveLetter)
    Q_PROPERTY(qint64 DiskSizeBytes READ DiskSizeBytes WRITE setDiskSizeBytes)
    Q_PROPERTY(qint64 DiskFreeBytes READ DiskFreeBytes WRITE setDiskFreeBytes)
    Q_PROPERTY(TDISKTYPE DiskType READ DiskType WRITE setDiskType)
    Q_PROPERTY(bool CDROMFound READ CDROMFound WRITE setCDROMFound)
    Q_PROPERTY(QString CDROMDriveLetter READ CDROMDriveLetter WRITE setCDROMDriveLetter)

public:
    // Measures drive C, then looks for the first CD-ROM drive from C to Z.
    TDISK(ISystemInfo &system, QObject *owner = nullptr);

    QString DriveLetter() const { return driveLetter_; }
    // Empty: nothing. Otherwise the first character, in upper case, is the letter, and the
    // drive is measured; a letter outside A to Z, or one no filesystem has, measures 0.
    void setDriveLetter(const QString &letter);
    qint64 DiskSizeBytes() const { return diskSizeBytes_; }
    void setDiskSizeBytes(qint64 bytes) { diskSizeBytes_ = bytes; }
    qint64 DiskFreeBytes() const { return diskFreeBytes_; }
    void setDiskFreeBytes(qint64 bytes) { diskFreeBytes_ = bytes; }
    TDISKTYPE DiskType() const { return diskType_; }
    void setDiskType(TDISKTYPE type) { diskType_ = type; }
    bool CDROMFound() const { return cdromFound_; }
    void setCDROMFound(bool found) { cdromFound_ = found; }
    QString CDROMDriveLetter() const { return cdromDriveLetter_; }
    void setCDROMDriveLetter(const QString &letter) { cdromDriveLetter_ = letter; }
    // Where the measured drive is mounted; empty when no filesystem has the letter.
    QString MountPoint() const { return mountPoint_; }

private:
    ISystemInfo &system_;
    QString driveLetter_;
    qint64 diskSizeBytes_ = 0;
    qint64 diskFreeBytes_ = 0;
    TDISKTYPE diskType_ = DT_UNKNOWN;
    bool cdromFound_ = false;
    QString cdromDriveLetter_ = QStringLiteral("A");
    QString mountPoint_;
};
