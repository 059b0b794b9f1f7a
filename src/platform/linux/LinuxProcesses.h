#pragma once

#include "platform/Processes.h"

#include <QHash>
#include <QObject>
#include <sys/types.h>

class QSocketNotifier;
class QTimer;

// Starts programs without a shell: the command line is split into words by SplitCommandLine
// (quotes and backslashes as in a shell, nothing expanded, "#" an ordinary character), the
// first word found on PATH unless it holds a "/", and run in the current directory with the bar's environment. A child gets a session of
// its own, so it outlives the bar and a closing terminal. Every child is reaped as soon as it
// ends, watched through a pidfd on the GUI thread.
class LinuxProcesses : public QObject, public IProcesses {
    Q_OBJECT
public:
    LinuxProcesses();
    ~LinuxProcesses() override;

    ProcessStart Start(const QString &commandLine) override;
    bool IsRunning(qint64 handle) override;
    QString CurrentDirectory() override;
    bool SetCurrentDirectory(const QString &directory) override;

    // The process id behind a handle, 0 when unknown.
    pid_t Pid(qint64 handle) const;

private:
    struct Child {
        pid_t pid = 0;
        int pidfd = -1; // -1 on kernels without pidfds: polled instead
        bool ended = false;
        QSocketNotifier *notifier = nullptr;
    };
    void Reap(qint64 handle);
    void Forget(Child &child);

    QHash<qint64, Child> children_;
    qint64 next_ = 1;
    QTimer *poll_ = nullptr;
};
