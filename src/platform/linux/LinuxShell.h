#pragma once

#include "platform/Shell.h"

// Placeholder until the launching and icon work brings file associations and icon extraction:
// no file has a program or an icon yet.
class LinuxShell : public IShell {
public:
    QString FindExecutable(const QString &file) override { return QString(); }
    int IconCount(const QString &file) override { return 0; }
    QIcon ExtractIcon(const QString &file, int index) override { return QIcon(); }
};
