#pragma once

#include "platform/Shell.h"
#include "platform/linux/ProgramIcons.h"

#include <QHash>
#include <QIcon>
#include <QString>

// File associations through GIO, and icons from image files, .ico files, Windows programs and
// libraries, desktop entries and installed programs. Paths may come quoted as command-line
// words. Icons are read once per file and index: a file is read again only when its size or
// modification time changed.
class LinuxShell : public IShell {
public:
    LinuxShell();
    ~LinuxShell() override;

    QString FindExecutable(const QString &file, QString *refusal = nullptr) override;
    int IconCount(const QString &file) override;
    QIcon ExtractIcon(const QString &file, int index) override;

    // The programs' icons from a listing of the application entries just taken (the import's):
    // the shell does not list them again.
    void UseProgramIcons(ProgramIcons icons);

    // What a file is, as far as icons go.
    enum class Kind { None, Pe, Ico, Image, Desktop, Program };

private:
    struct Cached {
        qint64 size = -1;
        qint64 modified = -1; // nanoseconds
        Kind kind = Kind::None;
        int count = -1; // -1: not counted yet
        QHash<int, QIcon> icons;
    };

    Cached *Lookup(const QString &path);
    QIcon ReadIcon(const QString &path, Kind kind, int index);
    QIcon ProgramIcon(const QString &path);

    QHash<QString, Cached> cache_;
    // Installed programs (canonical paths) and the icons of their desktop entries, read once.
    ProgramIcons programIcons_;
    bool programIconsRead_ = false;
};
