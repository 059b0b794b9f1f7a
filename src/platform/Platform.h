// src/platform owns the bar's view of the system: one small interface per service (processes,
// the shell, dialogs, sound, the session ...), gathered here; src/platform/linux implements them.
#pragma once

#include "platform/AppMenu.h"
#include "platform/Dialogs.h"
#include "platform/Help.h"
#include "platform/InstanceBus.h"
#include "platform/NotificationArea.h"
#include "platform/Processes.h"
#include "platform/Session.h"
#include "platform/Shell.h"
#include "platform/Sound.h"
#include "platform/SystemInfo.h"
#include "platform/WindowPlacement.h"

#include <QStringList>

// What the program was started with and where its files live.
struct AppEnvironment {
    QStringList arguments;   // the command line as typed, without the program name
    QString programDirectory; // directory of the executable, with its trailing separator
    QString configHome;       // $XDG_CONFIG_HOME, else ~/.config
};

// Everything the window needs from the system, handed to it in one piece.
struct Platform {
    AppEnvironment environment;
    IProcesses *processes = nullptr;
    IShell *shell = nullptr;
    ISystemInfo *system = nullptr;
    ISound *sound = nullptr;
    ISession *session = nullptr;
    IInstanceBus *bus = nullptr;
    IHelp *help = nullptr;
    IDialogs *dialogs = nullptr;
    IAppMenu *appMenu = nullptr;
    INotificationArea *tray = nullptr;
    IWindowPlacement *placement = nullptr; // only where the compositor needs telling
};
