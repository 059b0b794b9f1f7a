#include "settings/Profile.h"

#include <QDir>
#include <QFileInfo>
#include <unistd.h>

ProfileChoice ProfileFromArguments(const QStringList &arguments,
                                   const std::function<QString()> &userName) {
    ProfileChoice choice;
    if (arguments.isEmpty())
        return choice;
    const QString first = arguments.first();
    if (first.compare(QLatin1String("/n"), Qt::CaseInsensitive) == 0) {
        choice.name = userName ? userName() : QString();
    } else if (first.compare(QLatin1String("/m"), Qt::CaseInsensitive) == 0) {
        choice.name = arguments.size() > 1 ? arguments.at(1) : QString();
        choice.shared = true;
    } else {
        choice.name = first;
    }
    return choice;
}

bool IsUsableProfileName(const QString &name) {
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return false;
    // The file name must fit the filesystem's 255 bytes.
    return (QStringLiteral("OV") + name + QStringLiteral(".INI")).toUtf8().size() <= 255;
}

static QString WithSeparator(QString dir) {
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

SettingsPaths ResolveSettingsPaths(const QString &programDirectory, const QString &configHome,
                                   const QString &profile) {
    SettingsPaths paths;
    paths.usable = IsUsableProfileName(profile);
    const QString fileBase = QStringLiteral("OV") + profile;
    const QString portable = WithSeparator(programDirectory);
    const QString portableIni = portable + fileBase + QStringLiteral(".INI");
    const bool portableInstall = paths.usable && QFileInfo(portableIni).isFile() &&
                                 ::access(QFile::encodeName(portable).constData(), W_OK) == 0 &&
                                 ::access(QFile::encodeName(portableIni).constData(), W_OK) == 0;
    paths.directory = portableInstall ? portable : WithSeparator(WithSeparator(configHome) + "orvane");
    paths.iniFile = paths.directory + fileBase + QStringLiteral(".INI");
    paths.datFile = paths.directory + fileBase + QStringLiteral(".DAT");
    return paths;
}
