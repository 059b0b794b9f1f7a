// src/progman owns filling the bar from the desktop's application menu: reading its groups and
// items, and the offer to do so on a new installation's first start.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class IAppMenu;
class TNewIniFile;

// One item line of a group's reply, cut into its fields.
struct ProgmanItem {
    QString name;
    QString command;
    QString directory;
    QString iconPath;
    int iconIndex = 0;
    bool iconIndexValid = false; // the index field reads as a decimal number
    bool gap = false;            // two commas stand together somewhere after the directory
};

// Cuts an item line at its commas: name and command line are taken from between their quotes,
// the other fields are bare. A comma inside a field ends it early (the provider encodes its
// commas; name, command line, directory and icon are decoded after cutting). A line with fewer than
// two commas gives an empty command line.
ProgmanItem ParseItemLine(const QString &line);

// The lines of a reply: CR LF, LF or CR ends a line; a final line end adds no empty line.
QStringList ReplyLines(const QString &reply);

// The group list of a "GROUPS" reply in alphabetical order, case ignored, with the catch-all
// group last.
QStringList SortedGroupList(const QString &reply);

// One request in its own conversation: connect, request, disconnect.
std::optional<QString> RequestFromAppMenu(IAppMenu &menu, const QString &item);

struct ProgmanImport {
    bool reached = false; // the group list arrived
    int pages = 0;        // pages written
    int buttons = 0;      // buttons written
};

// Fills the settings from the application menu: each group with a name becomes a page (up to
// three when it has more items than one page holds), each item with a command line a button,
// its directory, when it has one, the button's working directory.
// Writes "Pages"/"Count" only when a page was written. Line breaks in names become blanks; an
// item whose name, command line or icon is too long to be stored whole is skipped.
ProgmanImport ImportFromAppMenu(IAppMenu &menu, TNewIniFile &ini, int buttonsPerPage);
