#include "platform/linux/LinuxProcesses.h"

#include "commandline/CommandLine.h"
#include "platform/linux/WaylandActivation.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char **environ;

namespace {
xcb_connection_t *X11Connection() {
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The screen number of $DISPLAY (":0.1" is screen 1).
int DisplayScreen() {
    const QByteArray display = qgetenv("DISPLAY");
    const int dot = display.lastIndexOf('.');
    return dot > display.lastIndexOf(':') ? display.mid(dot + 1).toInt() : 0;
}

xcb_window_t DisplayRoot(xcb_connection_t *connection) {
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = DisplayScreen(); i > 0 && screen.rem > 1; --i)
        xcb_screen_next(&screen);
    return screen.data->root;
}
} // namespace

QByteArray StartupMessage(const char *kind, const QList<std::pair<const char *, QString>> &keys) {
    QByteArray message = QByteArray(kind) + ':';
    for (const auto &[key, value] : keys) {
        QByteArray quoted = value.toUtf8();
        quoted.replace('\\', "\\\\").replace('"', "\\\"");
        message += ' ' + QByteArray(key) + "=\"" + quoted + '"';
    }
    return message;
}

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
    if (xcb_connection_t *connection = X11Connection()) {
        const auto intern = [connection](const char *name) {
            return xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
        };
        const xcb_intern_atom_cookie_t begin = intern("_NET_STARTUP_INFO_BEGIN");
        const xcb_intern_atom_cookie_t more = intern("_NET_STARTUP_INFO");
        for (auto [cookie, atom] : {std::pair{begin, &startupBegin_}, std::pair{more, &startupMore_}}) {
            if (xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr)) {
                *atom = reply->atom;
                std::free(reply);
            }
        }
        // An unmapped window of the bar's own signs the messages, as the protocol asks.
        startupWindow_ = xcb_generate_id(connection);
        const uint32_t overrideRedirect = 1;
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, startupWindow_, DisplayRoot(connection), -100, -100, 1,
                          1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                          &overrideRedirect);
        // The programs' own "remove:" messages go to the root window's property-change
        // listeners: listen there too, keeping what the toolkit already listens for.
        const xcb_window_t root = DisplayRoot(connection);
        xcb_get_window_attributes_reply_t *attributes =
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, root), nullptr);
        if (attributes) {
            const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
            if (mask != attributes->your_event_mask)
                xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
            std::free(attributes);
        }
        xcb_flush(connection);
        QCoreApplication::instance()->installNativeEventFilter(this);
        QCoreApplication::instance()->installEventFilter(this);
    }
    activation_ = WaylandActivation::ForApplication();
}

LinuxProcesses::~LinuxProcesses() {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
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
    // The child's environment is the bar's, with its own startup identity (the bar's own, if it
    // was started with one, belongs to the bar's start and is never passed on).
    const QByteArray startupId = AnnounceStartup(words);
    const QByteArray token = activation_
                                 ? activation_->RequestToken(QFileInfo(words.first()).fileName(),
                                                             activation_->CurrentOrigin())
                                 : QByteArray();
    const QByteArray startupVariable = "DESKTOP_STARTUP_ID=" + (startupId.isEmpty() ? token : startupId);
    const QByteArray tokenVariable = "XDG_ACTIVATION_TOKEN=" + token;
    std::vector<char *> envp;
    for (char **variable = environ; *variable; ++variable) {
        if (std::strncmp(*variable, "DESKTOP_STARTUP_ID=", 19) != 0 &&
            std::strncmp(*variable, "XDG_ACTIVATION_TOKEN=", 21) != 0)
            envp.push_back(*variable);
    }
    if (!startupId.isEmpty() || !token.isEmpty())
        envp.push_back(const_cast<char *>(startupVariable.constData()));
    if (!token.isEmpty())
        envp.push_back(const_cast<char *>(tokenVariable.constData()));
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        if (!startupId.isEmpty())
            SendStartupMessage(StartupMessage("remove", {{"ID", QString::fromUtf8(startupId)}}));
        result.error = QString::fromLocal8Bit(std::strerror(rc));
        return result;
    }

    const qint64 handle = next_++;
    Child &child = children_[handle];
    child.pid = pid;
    child.startupId = startupId;
    QTimer::singleShot(kStartupTimeoutMs, this, [this, handle] { EndStartup(handle); });
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
        // The end first: the bar comes back before the desktop hears that the start is over.
        if (OnEnded)
            OnEnded(handle);
        EndStartup(handle);
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

// Looks without reaping: the end is told (OnEnded) only from the event loop, never from inside
// a caller that asks, so whoever acts on OnEnded can do it at once.
bool LinuxProcesses::IsRunning(qint64 handle) {
    const auto it = children_.constFind(handle);
    if (it == children_.constEnd() || it->ended)
        return false;
    siginfo_t info{};
    const int rc = waitid(P_PID, id_t(it->pid), &info, WEXITED | WNOHANG | WNOWAIT);
    return rc == 0 && info.si_pid == 0;
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

QByteArray LinuxProcesses::AnnounceStartup(const QStringList &words) {
    if (!startupWindow_ || !startupBegin_ || !startupMore_)
        return {};
    const QString name = QFileInfo(words.first()).fileName();
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    // Unique on this display: the bar's process, its host and a count of its starts. Plain
    // characters only, as the programs that end the startup quote it each in their own way.
    QByteArray id = QStringLiteral("orvane-%1-%2-%3-%4")
                        .arg(::getpid())
                        .arg(QString::fromLocal8Bit(host), name)
                        .arg(++startups_)
                        .toUtf8();
    for (char &c : id) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.')
            c = '_';
    }
    QList<std::pair<const char *, QString>> keys{
        {"NAME", name}, {"SCREEN", QString::number(DisplayScreen())}, {"BIN", words.first()}};
    // The time of the click or key that asked for the start, in the ID's "_TIME" (which the
    // program reads from DESKTOP_STARTUP_ID) and in TIMESTAMP (which the window manager reads):
    // the new window takes the focus only when no later action of the user's was elsewhere. Only
    // one "_TIME" may be in the ID: the program's name gives up its own.
    id.replace("_TIME", "_Time");
    if (userTime_ != 0) {
        id += "_TIME" + QByteArray::number(userTime_);
        keys << std::pair{"TIMESTAMP", QString::number(userTime_)};
    }
    keys.prepend({"ID", QString::fromUtf8(id)});
    SendStartupMessage(StartupMessage("new", keys));
    return id;
}

bool LinuxProcesses::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        // On X11 an input event's time stamp is the server's time of it.
        if (event->spontaneous()) {
            const auto time = quint32(static_cast<QInputEvent *>(event)->timestamp());
            if (time != 0)
                userTime_ = time;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void LinuxProcesses::EndStartup(qint64 handle) {
    const auto it = children_.find(handle);
    if (it == children_.end() || !it->starting)
        return;
    it->starting = false;
    if (!it->startupId.isEmpty())
        SendStartupMessage(StartupMessage("remove", {{"ID", QString::fromUtf8(it->startupId)}}));
    it->startupId.clear();
    if (OnStarted)
        OnStarted(handle);
}

QByteArray StartupMessageId(const QByteArray &message) {
    qsizetype at = message.indexOf(':');
    while (at >= 0 && at < message.size()) {
        while (at < message.size() && (message[at] == ':' || message[at] == ' '))
            ++at;
        const qsizetype equals = message.indexOf('=', at);
        if (equals < 0)
            return {};
        const QByteArray key = message.mid(at, equals - at);
        QByteArray value;
        qsizetype i = equals + 1;
        const bool quoted = i < message.size() && message[i] == '"';
        if (quoted)
            ++i;
        for (; i < message.size(); ++i) {
            const char c = message[i];
            if (quoted ? c == '"' : c == ' ')
                break;
            if (c == '\\' && i + 1 < message.size())
                ++i;
            value += message[i];
        }
        if (key == "ID")
            return value;
        at = i + 1;
    }
    return {};
}

void LinuxProcesses::StartupMessageSeen(const QByteArray &message) {
    if (!message.startsWith("remove:"))
        return;
    const QByteArray id = StartupMessageId(message);
    if (id.isEmpty())
        return;
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (it->starting && it->startupId == id) {
            it->startupId.clear(); // the program removed it itself
            EndStartup(it.key());
            return;
        }
    }
}

bool LinuxProcesses::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
    if (eventType != "xcb_generic_event_t" || !startupBegin_)
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
    if (client->format != 8 || client->window == startupWindow_ ||
        (client->type != startupBegin_ && client->type != startupMore_))
        return false;
    const QByteArrayView piece(reinterpret_cast<const char *>(client->data.data8), 20);
    if (const std::optional<QByteArray> complete =
            startupMessages_.Add(client->window, client->type == startupBegin_, piece))
        StartupMessageSeen(*complete);
    return false;
}

// The message, with its closing NUL, in pieces of 20 bytes: the first as
// _NET_STARTUP_INFO_BEGIN, the others as _NET_STARTUP_INFO, to the root window.
void LinuxProcesses::SendStartupMessage(const QByteArray &message) {
    xcb_connection_t *connection = X11Connection();
    if (!connection || !startupWindow_)
        return;
    const xcb_window_t root = DisplayRoot(connection);
    const QByteArray text = message + '\0';
    for (qsizetype at = 0; at < text.size(); at += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = startupWindow_;
        event.type = at == 0 ? startupBegin_ : startupMore_;
        std::memcpy(event.data.data8, text.constData() + at, size_t(std::min<qsizetype>(20, text.size() - at)));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char *>(&event));
    }
    xcb_flush(connection);
}
