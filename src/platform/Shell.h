#pragma once

#include <QIcon>
#include <QString>

// File associations and icons.
class IShell {
public:
    virtual ~IShell() = default;
    // The program that opens this file, as a command line; empty when there is none. When the
    // user should be told why there is none (a desktop entry that needs a terminal on a
    // machine without one), the reason goes to refusal.
    virtual QString FindExecutable(const QString &file, QString *refusal = nullptr) = 0;
    // How many icons the file holds (0 when none).
    virtual int IconCount(const QString &file) = 0;
    // Icon number index of the file; a null icon when there is none.
    virtual QIcon ExtractIcon(const QString &file, int index) = 0;
};
