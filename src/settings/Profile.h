#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// The profile name names the settings file, the lockout data file and the shared-mode messages.
struct ProfileChoice {
    QString name;
    bool shared = false; // "/m": copies with this profile follow each other's changes
};

// First argument: none → empty; "/n" → the login name; "/m" → the second argument, shared;
// anything else → that argument as typed.
ProfileChoice ProfileFromArguments(const QStringList &arguments,
                                   const std::function<QString()> &userName);

// A profile name that can be part of a file name ("OV" + name + ".INI").
bool IsUsableProfileName(const QString &name);

struct SettingsPaths {
    QString directory; // with a trailing separator
    QString iniFile;   // directory + "OV" + profile + ".INI"
    QString datFile;   // directory + "OV" + profile + ".DAT"
    bool usable = true; // false: the profile name cannot be a file name; every write is refused
};

// The program's own directory when it already holds this profile's settings file and can be
// written (a portable install); otherwise configHome/orvane.
SettingsPaths ResolveSettingsPaths(const QString &programDirectory, const QString &configHome,
                                   const QString &profile);
