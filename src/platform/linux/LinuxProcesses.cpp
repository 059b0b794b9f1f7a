#include "platform/linux/LinuxProcesses.h"

#include "launch/Paths.h"

#include <QDir>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

// Through syscall(): glibc 2.36 declares pidfd_open without C linkage for C++.
static int PidfdOpen(pid_t pid) {
    return int(::syscall(SYS_pidfd_open, pid, 0));
}

LinuxProcesses::LinuxProcesses() {
    poll_ = new QTimer(this);
    poll_->setInterval(1000);
    connect(poll_, &QTimer::timeout, this, [this] {
        bool waiting = false;
        for (auto it = children_.begin(); it != children_.end(); ++it) {
            if (!it->ended && it->pidfd < 0) {
                Reap(it.key());
                waiting = waiting || !it->ended;
            }
        }
        if (!waiting)
            poll_->stop();
    });
}

LinuxProcesses::~LinuxProcesses() {
    // The children go on running; whoever inherits them reaps them.
    for (Child &child : children_)
        Forget(child);
}

ProcessStart LinuxProcesses::Start(const QString &commandLine) {
    ProcessStart result;
    const QStringList words = SplitCommandLine(commandLine, &result.error);
    if (words.isEmpty())
        return result;
    std::vector<QByteArray> encoded;
    std::vector<char *> argv;
    for (const QString &word : words)
        encoded.push_back(word.toUtf8());
    for (QByteArray &word : encoded)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    // The child starts clean: no blocked signals, no handlers or ignored signals of the bar.
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        result.error = QString::fromLocal8Bit(std::strerror(rc));
        return result;
    }

    const qint64 handle = next_++;
    Child &child = children_[handle];
    child.pid = pid;
    child.pidfd = PidfdOpen(pid); // our unreaped child: its pid cannot be reused yet
    if (child.pidfd >= 0) {
        child.notifier = new QSocketNotifier(child.pidfd, QSocketNotifier::Read, this);
        connect(child.notifier, &QSocketNotifier::activated, this,
                [this, handle] { Reap(handle); });
    } else {
        poll_->start();
    }
    result.started = true;
    result.handle = handle;
    return result;
}

void LinuxProcesses::Reap(qint64 handle) {
    auto it = children_.find(handle);
    if (it == children_.end() || it->ended)
        return;
    Child &child = *it;
    bool ended = false;
    if (child.pidfd >= 0) {
        siginfo_t info{};
        const int rc = waitid(P_PIDFD, id_t(child.pidfd), &info, WEXITED | WNOHANG);
        ended = (rc == 0 && info.si_pid != 0) || (rc < 0 && errno == ECHILD);
    } else {
        const pid_t rc = waitpid(child.pid, nullptr, WNOHANG);
        ended = rc == child.pid || (rc < 0 && errno == ECHILD);
    }
    if (ended) {
        child.ended = true;
        Forget(child);
        if (OnEnded)
            OnEnded(handle);
    }
}

void LinuxProcesses::Forget(Child &child) {
    if (child.notifier) {
        child.notifier->setEnabled(false);
        child.notifier->deleteLater();
        child.notifier = nullptr;
    }
    if (child.pidfd >= 0) {
        ::close(child.pidfd);
        child.pidfd = -1;
    }
}

bool LinuxProcesses::IsRunning(qint64 handle) {
    Reap(handle);
    const auto it = children_.constFind(handle);
    return it != children_.constEnd() && !it->ended;
}

pid_t LinuxProcesses::Pid(qint64 handle) const {
    return children_.value(handle).pid;
}

QString LinuxProcesses::CurrentDirectory() {
    return QDir::currentPath();
}

bool LinuxProcesses::SetCurrentDirectory(const QString &directory) {
    return !directory.isEmpty() && QDir::setCurrent(directory);
}
