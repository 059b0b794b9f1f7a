// src/platform/linux owns the real implementations of the platform interfaces on Linux desktops
// (X11 and Wayland), made and handed out together by LinuxPlatform.
#pragma once

#include "platform/Platform.h"
#include "platform/linux/LinuxDialogs.h"

#include <QStringList>
#include <memory>

class QWidget;
class LinuxAppMenu;
class LinuxHelp;
class LinuxInstanceBus;
class LinuxNotificationArea;
class LinuxProcesses;
class LinuxSession;
class LinuxShell;
class LinuxSound;
class LinuxSystemInfo;
class SwayPlacement;

// The real platform, made in two steps because QApplication removes its own options (-style,
// -display ...) from argv, while the bar's first argument must be taken as typed:
//
//     AppEnvironment env = LinuxPlatform::CaptureEnvironment(argc, argv); // before QApplication
//     QApplication app(argc, argv);
//     LinuxPlatform platform(env, iconPicker);
//     TForm1 window(platform.Get());
//     platform.SetDialogParent(&window);
class LinuxPlatform {
public:
    // argv[1..] decoded as file names are, unchanged.
    static QStringList CopyArguments(int argc, char **argv);
    // The arguments, the executable's directory (from /proc/self/exe, with a trailing "/") and
    // the configuration home ($XDG_CONFIG_HOME when absolute, else $HOME/.config), after
    // MakePathVariablesAbsolute against the current directory.
    static AppEnvironment CaptureEnvironment(int argc, char **argv);
    // Fixes the directories the bar and its libraries take from the environment, before any of
    // them is read: every launch changes the current directory, which would give a relative
    // path another meaning. A relative HOME is taken against startDirectory, where the bar was
    // started (without one, it is dropped for the account's home directory). Relative XDG base
    // directories are dropped (in the lists, each relative entry): freedesktop's base directory
    // rules say to ignore them. A relative WINEPREFIX is taken like HOME. Changes the process's environment: call it before
    // QApplication and any thread exist.
    static void MakePathVariablesAbsolute(const QString &startDirectory);

    // Needs the QApplication. iconPicker: the dialog that picks one of a file's icons (without
    // one, picking an icon is cancelled).
    explicit LinuxPlatform(const AppEnvironment &environment, IconPicker iconPicker = {},
                           QWidget *dialogParent = nullptr);
    ~LinuxPlatform();
    LinuxPlatform(const LinuxPlatform &) = delete;
    LinuxPlatform &operator=(const LinuxPlatform &) = delete;

    Platform &Get() { return platform_; }
    // The window dialogs and message boxes belong to, once it exists.
    void SetDialogParent(QWidget *parent);

private:
    std::unique_ptr<LinuxProcesses> processes_;
    std::unique_ptr<LinuxShell> shell_;
    std::unique_ptr<LinuxSystemInfo> system_;
    std::unique_ptr<LinuxSound> sound_;
    std::unique_ptr<LinuxSession> session_;
    std::unique_ptr<SwayPlacement> placement_;
    std::unique_ptr<LinuxInstanceBus> bus_;
    std::unique_ptr<LinuxHelp> help_;
    std::unique_ptr<LinuxDialogs> dialogs_;
    std::unique_ptr<LinuxAppMenu> appMenu_;
    std::unique_ptr<LinuxNotificationArea> tray_;
    Platform platform_;
};
