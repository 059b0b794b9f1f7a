#pragma once

#include "settings/Profile.h"

#include <QByteArray>
#include <QString>
#include <functional>

// Starting the bar with the desktop session: the user's XDG autostart entry.
namespace autostart {

enum class State { Absent, Ours, Foreign };

// configHome/autostart/io.orvane.Orvane.desktop
QString EntryPath(const QString &configHome);

// One argument as the Exec key of a desktop entry wants it: quoted when it holds a reserved
// character, "%" doubled. The key file's own escapes (backslash, new line) come on top of this:
// ExecValue applies them to the whole line.
QString QuoteExecArgument(const QString &argument);
// The Exec value, as written to the file, that starts program with this profile (and "/m" in
// shared mode).
QString ExecValue(const QString &program, const ProfileChoice &profile);

// The entry the bar writes for an Exec value.
QByteArray EntryText(const QString &execValue);

// Absent: no file. Ours: a file the bar wrote. Foreign: anything else at that path (an entry
// written by hand, something that is not a regular file).
State Read(const QString &path);

struct Outcome {
    bool enabled = false; // an entry is there afterwards
    QString error;        // why the change failed ("Unable to write to ..."); nothing changed then
};
// Ticks (enable) or unticks the item. Ticking writes the bar's entry, or rewrites its own one for
// this Exec; an entry the bar did not write is left as it is. Unticking removes the bar's entry;
// one it did not write only when confirmRemoval says yes.
Outcome Apply(const QString &path, bool enable, const QString &execValue,
              const std::function<bool()> &confirmRemoval);

} // namespace autostart
