#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

// Starting programs and watching them.
struct ProcessStart {
    bool started = false;
    qint64 handle = 0;   // identifies the started process for IsRunning()
    QString error;       // why the start failed, for the message box
};

class IProcesses {
public:
    virtual ~IProcesses() = default;
    // The command line is split into words without a shell and executed directly, in the
    // current directory. An empty line or unbalanced quotes is a start that failed.
    virtual ProcessStart Start(const QString &commandLine) = 0;
    // True while the started process has not ended.
    virtual bool IsRunning(qint64 handle) = 0;
    // Told, on the GUI thread, as soon as a started process has ended; only from the event
    // loop, never from inside another call of this interface.
    std::function<void(qint64 handle)> OnEnded;
    // Told, on the GUI thread, once a program's start is over: the desktop heard from its first
    // window, its process ended, or ten seconds passed. Once for every successful start.
    std::function<void(qint64 handle)> OnStarted;
    virtual QString CurrentDirectory() = 0;
    virtual bool SetCurrentDirectory(const QString &directory) = 0;
};
