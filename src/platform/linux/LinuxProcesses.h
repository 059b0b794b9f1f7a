#pragma once

#include "platform/Processes.h"
#include "platform/linux/StartupMessageAssembler.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QStringList>
#include <utility>
#include <QAbstractNativeEventFilter>
#include <QObject>
#include <memory>
#include <sys/types.h>

class QSocketNotifier;
class QTimer;
class WaylandActivation;

// Starts programs without a shell: the command line is split into words by SplitCommandLine
// (quotes and backslashes as in a shell, nothing expanded, "#" an ordinary character), the
// first word found on PATH unless it holds a "/", and run in the current directory with the bar's
// environment. A child gets a session of its own, so it outlives the bar and a closing terminal.
// Every child is reaped as soon as it ends, watched through a pidfd on the GUI thread.
//
// On an X11 display every start is announced to the desktop (freedesktop startup notification):
// a "new:" message on the root window and DESKTOP_STARTUP_ID in the child's environment, so the
// desktop can show that the program is starting and the program's first window ends it. For a
// program that never shows a window the bar sends "remove:" itself, when the process ends or
// after kStartupTimeoutMs. A start is over (OnStarted) when the program's own "remove:" arrives
// (its toolkit sends it when its first window maps), when it ends, or after kStartupTimeoutMs.
//
// On a Wayland session whose compositor offers xdg-activation, every start gets an activation
// token, in XDG_ACTIVATION_TOKEN, and in DESKTOP_STARTUP_ID (where toolkits look for it) unless
// the bar runs through XWayland, where that variable carries the X11 startup identity for X11
// programs; a start whose token does not come in time goes on without one.
class LinuxProcesses : public QObject, public IProcesses, public QAbstractNativeEventFilter {
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

    static constexpr int kStartupTimeoutMs = 10000;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    // Notes the X server time of each click and key from the window system (see userTime_).
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Child {
        pid_t pid = 0;
        int pidfd = -1; // -1 on kernels without pidfds: polled instead
        bool ended = false;
        QSocketNotifier *notifier = nullptr;
        QByteArray startupId; // announced and not yet removed
        bool starting = true;  // OnStarted not yet told
    };
    void Reap(qint64 handle);
    void Forget(Child &child);
    // The startup identity of a start about to happen, announced with "new:"; empty without X11.
    QByteArray AnnounceStartup(const QStringList &words);
    void EndStartup(qint64 handle);
    void SendStartupMessage(const QByteArray &message);
    // A complete startup message another client sent: a "remove:" of one of ours ends that start.
    void StartupMessageSeen(const QByteArray &message);

    QHash<qint64, Child> children_;
    qint64 next_ = 1;
    QTimer *poll_ = nullptr;
    qint64 startups_ = 0;
    // The X11 connection's window that signs the startup messages, and their atoms.
    quint32 startupWindow_ = 0;
    quint32 startupBegin_ = 0;
    quint32 startupMore_ = 0;
    // The X server time of the user's latest click or key: the action that causes a launch. The
    // window manager compares it with the focused window's user time to decide whether the new
    // program's window may take the focus. 0 before the first.
    quint32 userTime_ = 0;
    StartupMessageAssembler startupMessages_;
    std::unique_ptr<WaylandActivation> activation_; // null off Wayland or without xdg-activation
};

// The value of ID in a startup message ("remove: ID=\"a b\"" or "remove: ID=ab"); empty when absent.
QByteArray StartupMessageId(const QByteArray &message);

// A startup notification message: kind ("new", "remove") and its keys, every value quoted.
QByteArray StartupMessage(const char *kind, const QList<std::pair<const char *, QString>> &keys);
