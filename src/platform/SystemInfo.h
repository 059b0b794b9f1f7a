#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

struct MemoryStatus {
    int load = 0;          // percent of memory in use
    quint64 totalPhys = 0; // bytes
};

struct DriveInfo {
    QChar letter;        // 'C' for "/", 'D'... for the other real filesystems
    QString mountPoint;
    quint64 total = 0;   // bytes
    quint64 free = 0;    // bytes
    bool removable = false;
};

// Machine, user and screen facts.
class ISystemInfo {
public:
    virtual ~ISystemInfo() = default;
    virtual MemoryStatus Memory() = 0;
    virtual QList<DriveInfo> Drives() = 0;
    // The login name; empty when it cannot be found.
    virtual QString UserName() = 0;
    virtual int ScreenHeight() = 0;
    // Width of the screen's client area, without panels.
    virtual int UsableScreenWidth() = 0;
    // Height of a window's title bar, the "menu height" of the bar's geometry.
    virtual int MenuBarHeight() = 0;
};
