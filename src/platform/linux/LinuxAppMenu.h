#pragma once

#include "platform/AppMenu.h"
#include "platform/linux/ProgramIcons.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

typedef struct _GAppInfo GAppInfo;
typedef struct _GDesktopAppInfo GDesktopAppInfo;

// One application entry of the desktop's menu, as the import takes it.
struct AppMenuEntry {
    QString group;       // the menu group its first main category belongs to, or "Other"
    QString name;        // its name in the current locale, on one line
    QString commandLine; // its command line (CommandOfEntry)
    QString directory;   // its Path
    QString desktopFile; // the .desktop file, a command-line word
};

// The command line that runs a program in a terminal emulator, the program's command line to
// be put after it; empty when there is no terminal emulator.
QString TerminalCommand();

// Look-ups shared by the entries of one listing: many entries run the same program, and each
// search of PATH costs a look at every directory in it.
class ProgramLookup {
public:
    // The absolute path of the program a command word names; empty when it cannot be found.
    QString PathOf(const QString &word);
    // TerminalCommand(), looked for once.
    QString Terminal();

private:
    QHash<QString, QString> paths_;
    std::optional<QString> terminal_;
};

// What starting a desktop entry with no files runs.
struct EntryCommand {
    // The program as an absolute path, then the other words of the Exec line with their field
    // codes expanded, each a command-line word; in a terminal emulator when the entry asks for
    // one. Empty when the entry cannot be run: no usable Exec, the program not found, or no
    // terminal emulator for an entry that needs one.
    QString commandLine;
    QString program;         // the program's absolute path; empty when it was not found
    bool noTerminal = false; // the entry runs in a terminal and the machine has none
};
// location: the entry's file, for %k; empty: the one GIO knows for it.
EntryCommand CommandOfEntry(GAppInfo *app, ProgramLookup &lookup, const QByteArray &location = {});

// The application entry in a desktop entry file; null when it is not a regular file or holds
// no application that can run here. Read as a key file: GIO's own reading of a file by name
// first reads every applications folder, following a link loop level after level, and then
// compares the file with every entry found there.
GDesktopAppInfo *LoadDesktopEntry(const QByteArray &path);

// The message for an entry that runs in a terminal on a machine without a terminal emulator.
QString NoTerminalMessage(const QString &entryName);

// The bar's own desktop entry, which it never offers as a button.
inline const char *const OwnDesktopId = "io.orvane.Orvane.desktop";

// Every application entry of the applications folders (the user's data folder, then the
// system's, in order) that is not Hidden, with its desktop ID ("sub-name.desktop" for
// sub/name.desktop) and file, once per ID: an earlier folder's entry masks a later one of the
// same ID.
// Each folder is read once, by device and inode, so a symbolic-link loop adds nothing; only
// regular files are read (a FIFO would block). Ends early once cancelled is set.
void ForEachDesktopEntry(const std::function<void(const QByteArray &id, const QByteArray &file,
                                                  GDesktopAppInfo *)> &visit,
                         const std::atomic<bool> *cancelled = nullptr);

// The desktop menu's name of a main category ("Utility" is "Accessories"); empty for a
// category that is not a main one.
QString AppMenuGroupOf(const QString &category);

// Every application entry the desktop's menus show (NoDisplay, Hidden, OnlyShowIn and
// NotShowIn respected), through ForEachDesktopEntry. Entries that cannot be run
// (CommandOfEntry), whose command line cannot be written on one line, and the bar's own entry
// are left out. Ordered by group, then name (case ignored). The icons of the programs of every
// entry, shown or not, go to programIcons when given. A cancelled listing ends early.
std::vector<AppMenuEntry> ListAppMenuEntries(ProgramIcons *programIcons = nullptr,
                                             const std::atomic<bool> *cancelled = nullptr);

// One listing for the application menu.
struct AppMenuListing {
    std::vector<AppMenuEntry> entries;
    ProgramIcons programIcons;
};
// Makes a listing; it should end soon once its argument is set.
using AppMenuLister = std::function<AppMenuListing(const std::atomic<bool> &cancelled)>;
AppMenuListing ListAppMenu(const std::atomic<bool> &cancelled);

// The replies: "GROUPS" lists the groups that have entries; a group gives a header line and
// one item line per entry. Nothing for a group without entries.
QString AppMenuGroupsReply(const std::vector<AppMenuEntry> &entries);
std::optional<QString> AppMenuGroupReply(const std::vector<AppMenuEntry> &entries,
                                         const QString &group);

// The application menu over the desktop's application entries. "GROUPS" lists them afresh; the
// group requests of the same import use that listing. A listing that takes longer than the
// time limit gives no reply, and is cancelled.
class LinuxAppMenu : public IAppMenu {
public:
    explicit LinuxAppMenu(int timeLimitMs = 10000, AppMenuLister lister = ListAppMenu)
        : timeLimitMs_(timeLimitMs), lister_(std::move(lister)) {}
    bool Connect() override { return true; }
    void Disconnect() override {}
    std::optional<QString> Request(const QString &item) override;
    // Told the programs' icons of each new listing, so that nobody needs to list them again.
    std::function<void(ProgramIcons)> OnProgramIcons;

private:
    int timeLimitMs_;
    AppMenuLister lister_;
    std::optional<std::vector<AppMenuEntry>> listing_;
};
