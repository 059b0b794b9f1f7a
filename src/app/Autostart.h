#pragma once

#include "settings/Profile.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// Starting the bar with the desktop session: the user's XDG autostart entry.
namespace autostart {

// OtherProfile: an entry the bar wrote for another profile (or shared mode). Older versions
// wrote one entry for whichever profile ticked the item last, always under the default
// profile's file name.
enum class State { Absent, Ours, OtherProfile, Foreign };

// The part of an entry's file name that tells the profile: empty for the default profile (no
// name, not shared), "-<name>" for a named one, "-shared-<name>" in shared mode. The name keeps
// letters and digits; every other byte of its UTF-8 becomes "_" and two hex digits, so that no
// two profiles share a file and any name makes one plain file name. A name too long for a file
// name keeps its start and gets a digest of the whole.
QString EntryFileSuffix(const ProfileChoice &profile);
// configHome/autostart/io.orvane.Orvane<suffix>.desktop
QString EntryPath(const QString &configHome, const ProfileChoice &profile);

// One argument as the Exec key of a desktop entry wants it: quoted when it holds a reserved
// character, "%" doubled. The key file's own escapes (backslash, new line) come on top of this:
// ExecValue applies them to the whole line.
QString QuoteExecArgument(const QString &argument);
// The Exec value, as written to the file, that starts program with this profile (and "/m" in
// shared mode).
QString ExecValue(const QString &program, const ProfileChoice &profile);

// The entry the bar writes for an Exec value.
QByteArray EntryText(const QString &execValue);

// The profile an entry the bar wrote starts, read from its Exec line; nothing for any other file.
std::optional<ProfileChoice> EntryProfile(const QString &path);

// Absent: no file. Ours: a file the bar wrote for this profile. OtherProfile: one it wrote for
// another. Foreign: anything else at that path (an entry written by hand, something that is not
// a regular file).
State Read(const QString &path, const ProfileChoice &profile);

struct Outcome {
    bool enabled = false; // an entry is there afterwards
    QString error;        // why the change failed ("Unable to write to ..."); nothing changed then
};
// Whether the item shows ticked for this profile: its own entry is there (the bar's or one
// written by hand), or an older version's entry for it under the default profile's name.
bool IsEnabled(const QString &configHome, const ProfileChoice &profile);

// Ticks (enable) or unticks the item for this profile; the entries of other profiles stay as they
// are. Ticking writes the bar's entry, or rewrites its own one for this Exec; an entry the bar did
// not write is left as it is. Unticking removes the bar's entry; one it did not write only when
// confirmRemoval says yes. An older version's entry for this profile is replaced by (or removed
// with) its own; one for another profile in the default profile's file is first moved to that
// profile's own file.
Outcome Apply(const QString &configHome, const ProfileChoice &profile, bool enable,
              const QString &execValue, const std::function<bool()> &confirmRemoval);

} // namespace autostart
