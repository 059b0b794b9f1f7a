#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

// The Qt platform plugin the bar asks for before the application object exists: "xcb" on a
// Wayland session that also offers an X display (XWayland), because only an X11 window may
// choose its place and stay above others there; empty, leaving Qt its own choice, everywhere
// else and whenever the user chose a platform (QT_QPA_PLATFORM, or -platform among the
// arguments, which exclude the program name).
//
// The choice goes to Qt as a -platform argument, not through the environment, so the programs
// the bar starts keep the session's environment and run natively as they would otherwise.
QByteArray ChooseQtPlatform(const QProcessEnvironment &environment, const QStringList &arguments);
