#pragma once

#include "platform/AppMenu.h"
#include "platform/linux/ProgramIcons.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// One application entry of the desktop's menu, as the import takes it.
struct AppMenuEntry {
    QString group;       // the menu group its first main category belongs to, or "Other"
    QString name;        // its name in the current locale, on one line
    QString commandLine; // its Exec line without field codes, the program as an absolute path,
                         // in a terminal emulator when the entry asks for one
    QString directory;   // its Path
    QString desktopFile; // the .desktop file, a command-line word
};

// The command line that runs a program in a terminal emulator, the program's command line to
// be put after it; empty when there is no terminal emulator.
QString TerminalCommand();

// The desktop menu's name of a main category ("Utility" is "Accessories"); empty for a
// category that is not a main one.
QString AppMenuGroupOf(const QString &category);

// Every application entry the desktop's menus show (NoDisplay, Hidden, OnlyShowIn and
// NotShowIn respected), through GIO. Entries whose command line cannot be written on one line
// or whose program cannot be found are left out. Ordered by group, then name (case ignored).
// The icons of the programs of every entry, shown or not, go to programIcons when given.
std::vector<AppMenuEntry> ListAppMenuEntries(ProgramIcons *programIcons = nullptr);

// The replies: "GROUPS" lists the groups that have entries; a group gives a header line and
// one item line per entry. Nothing for a group without entries.
QString AppMenuGroupsReply(const std::vector<AppMenuEntry> &entries);
std::optional<QString> AppMenuGroupReply(const std::vector<AppMenuEntry> &entries,
                                         const QString &group);

// The application menu over the desktop's application entries. "GROUPS" lists them afresh; the
// group requests of the same import use that listing. A listing that takes longer than the
// time limit gives no reply.
class LinuxAppMenu : public IAppMenu {
public:
    explicit LinuxAppMenu(int timeLimitMs = 10000) : timeLimitMs_(timeLimitMs) {}
    bool Connect() override { return true; }
    void Disconnect() override {}
    std::optional<QString> Request(const QString &item) override;
    // Told the programs' icons of each new listing, so that nobody needs to list them again.
    std::function<void(ProgramIcons)> OnProgramIcons;

private:
    int timeLimitMs_;
    std::optional<std::vector<AppMenuEntry>> listing_;
};
