#include "platform/linux/LinuxPlatform.h"

#include "platform/linux/LinuxAppMenu.h"
#include "platform/linux/LinuxDialogs.h"
#include "platform/linux/LinuxHelp.h"
#include "platform/linux/LinuxInstanceBus.h"
#include "platform/linux/LinuxNotificationArea.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/LinuxSession.h"
#include "platform/linux/LinuxShell.h"
#include "platform/linux/LinuxSound.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/SwayPlacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <pwd.h>
#include <unistd.h>

QStringList LinuxPlatform::CopyArguments(int argc, char **argv) {
    QStringList arguments;
    for (int i = 1; i < argc && argv && argv[i]; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    return arguments;
}

static QString WithSeparator(const QString &dir) {
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

static QString ProgramDirectory(int argc, char **argv) {
    // /proc/self/exe names the running file whatever argv[0] says.
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    QString exe;
    if (n > 0 && size_t(n) < sizeof buffer)
        exe = QFile::decodeName(QByteArray(buffer, int(n)));
    else if (argc > 0 && argv && argv[0])
        exe = QFileInfo(QFile::decodeName(argv[0])).absoluteFilePath();
    if (exe.isEmpty())
        return WithSeparator(QDir::currentPath());
    return WithSeparator(QFileInfo(exe).absolutePath());
}

static QString ConfigHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) {
        if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            home = QFile::decodeName(pw->pw_dir);
    }
    return WithSeparator(home) + QStringLiteral(".config");
}

void LinuxPlatform::MakePathVariablesAbsolute(const QString &startDirectory) {
    // The Wine prefix is read whenever a shortcut is resolved, long after launches have moved
    // the current directory: it is fixed here like the home directory.
    for (const char *name : {"HOME", "WINEPREFIX"}) {
        const QString path = qEnvironmentVariable(name);
        if (path.isEmpty() || QDir::isAbsolutePath(path))
            continue;
        if (QDir::isAbsolutePath(startDirectory))
            qputenv(name, QFile::encodeName(QDir::cleanPath(startDirectory + QLatin1Char('/') + path)));
        else
            qunsetenv(name); // the account's home directory and the default prefix, then
    }
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                             "XDG_RUNTIME_DIR"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty() && !value.startsWith('/'))
            qunsetenv(name);
    }
    for (const char *name : {"XDG_CONFIG_DIRS", "XDG_DATA_DIRS"}) {
        const QByteArrayList entries = qgetenv(name).split(':');
        QByteArrayList kept;
        for (const QByteArray &entry : entries) {
            if (entry.startsWith('/'))
                kept.append(entry);
        }
        if (kept.size() == entries.size() || !qEnvironmentVariableIsSet(name))
            continue;
        if (kept.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, kept.join(':'));
    }
}

AppEnvironment LinuxPlatform::CaptureEnvironment(int argc, char **argv) {
    MakePathVariablesAbsolute(QDir::currentPath());
    AppEnvironment environment;
    environment.arguments = CopyArguments(argc, argv);
    environment.programDirectory = ProgramDirectory(argc, argv);
    environment.configHome = ConfigHome();
    return environment;
}

LinuxPlatform::LinuxPlatform(const AppEnvironment &environment, IconPicker iconPicker,
                             QWidget *dialogParent)
    : processes_(std::make_unique<LinuxProcesses>()), shell_(std::make_unique<LinuxShell>()),
      system_(std::make_unique<LinuxSystemInfo>()), sound_(std::make_unique<LinuxSound>()),
      session_(std::make_unique<LinuxSession>()), bus_(std::make_unique<LinuxInstanceBus>()),
      help_(std::make_unique<LinuxHelp>()),
      dialogs_(std::make_unique<LinuxDialogs>(dialogParent, help_.get(), shell_.get(),
                                              std::move(iconPicker))),
      appMenu_(std::make_unique<LinuxAppMenu>()), tray_(std::make_unique<LinuxNotificationArea>()) {
    platform_.environment = environment;
    platform_.processes = processes_.get();
    platform_.shell = shell_.get();
    platform_.system = system_.get();
    platform_.sound = sound_.get();
    platform_.session = session_.get();
    platform_.bus = bus_.get();
    platform_.help = help_.get();
    platform_.dialogs = dialogs_.get();
    platform_.appMenu = appMenu_.get();
    platform_.tray = tray_.get();
    placement_ = SwayPlacement::ForSession();
    platform_.placement = placement_.get();
    // The import's listing of the application entries gives the shell its programs' icons.
    appMenu_->OnProgramIcons = [shell = shell_.get()](ProgramIcons icons) { shell->UseProgramIcons(std::move(icons)); };
}

LinuxPlatform::~LinuxPlatform() = default;

void LinuxPlatform::SetDialogParent(QWidget *parent) {
    dialogs_->SetParent(parent);
}
