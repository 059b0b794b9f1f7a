#pragma once

// A desktop of the test's own: HOME, the XDG directories and the front of PATH inside a
// temporary directory, so that only the applications and choices a test writes there count.
// The MIME database stays the system's.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// desktop: XDG_CURRENT_DESKTOP, or empty to have none.
inline void UseXdgSandbox(const QTemporaryDir &root, const QByteArray &desktop) {
    auto at = [&root](const char *relative) { return root.filePath(QLatin1String(relative)); };
    QDir().mkpath(at("data"));
    QFile::link(QStringLiteral("/usr/share/mime"), at("data/mime"));
    qputenv("HOME", QFile::encodeName(at("home")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(at("home/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(at("config")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(at("data")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(at("config-dirs")));
    if (desktop.isEmpty())
        qunsetenv("XDG_CURRENT_DESKTOP");
    else
        qputenv("XDG_CURRENT_DESKTOP", desktop);
    qputenv("PATH", QFile::encodeName(at("bin")) + ":" + qgetenv("PATH"));
}
