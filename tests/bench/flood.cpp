// Flood benchmark: the bar (the real program, in shared mode with profile "Bench", on a settings
// file of 20 pages of 21 configured buttons) gets a burst of shared-mode requests on the session
// bus, posted as fast as this program can, the way any program may post them; or a burst of
// startup notification pieces on the X display's root window, signed with made-up windows that
// never end their messages, as any client may send them. For each burst:
//   - how long the bar stays busy: from the first post to the last moment it was working,
//   - its resident memory before, after it has settled, and its peak,
// and, for the largest rebuild burst, how long the bar takes to end on SIGTERM sent as soon as
// the burst is out.
//
//   bench_flood ORVANE [startup]      (startup: the startup notification floods only)
//
// Needs $DISPLAY and a session bus (run.sh gives both). Prints figures; judges nothing.

#include "BenchCommon.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <csignal>
#include <cstring>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

constexpr const char *Profile = "Bench";

// Nanoseconds every thread of the process has spent running.
qint64 CpuNs(pid_t pid) {
    qint64 total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task) + QStringLiteral("/schedstat"));
        if (file.open(QIODevice::ReadOnly))
            total +=
                QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 0).toLongLong();
    }
    return total;
}

// A field of /proc/PID/status in MiB (VmRSS, VmHWM).
double StatusMiB(pid_t pid, const char *field) {
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

bool Alive(pid_t pid) {
    return ::waitpid(pid, nullptr, WNOHANG) == 0;
}

// Waits until the process has done no real work (under 3 ms of CPU in any 10 ms) for quietMs,
// or until limitMs have passed. Returns the milliseconds from clock's start to the last moment
// it was working, or -1 when it was still working at the limit (or ended).
// busySince: the process's CPU time when clock started; work done since counts as working now.
double WaitUntilQuiet(pid_t pid, const QElapsedTimer &clock, int quietMs, int limitMs,
                      qint64 busySince = -1) {
    qint64 previous = CpuNs(pid);
    double lastBusy = 0;
    if (busySince >= 0 && previous - busySince >= 3'000'000)
        lastBusy = clock.nsecsElapsed() / 1e6;
    while (clock.elapsed() < limitMs) {
        QThread::msleep(10);
        if (!Alive(pid))
            return -1;
        const qint64 now = CpuNs(pid);
        if (now - previous >= 3'000'000)
            lastBusy = clock.nsecsElapsed() / 1e6;
        previous = now;
        if (clock.nsecsElapsed() / 1e6 - lastBusy >= quietMs)
            return lastBusy;
    }
    return -1;
}

pid_t StartBar(const QString &program, const QString &home) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const QByteArray h = QFile::encodeName(home);
        ::setenv("HOME", h.constData(), 1);
        ::setenv("XDG_CONFIG_HOME", (h + "/config").constData(), 1);
        ::setenv("XDG_DATA_HOME", (h + "/data").constData(), 1);
        ::setenv("XDG_CACHE_HOME", (h + "/cache").constData(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        const QByteArray path = QFile::encodeName(program);
        ::execl(path.constData(), path.constData(), "/m", Profile, static_cast<char *>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// Milliseconds until the process ends after SIGTERM, -1 when it has not within limitMs.
double TerminateMs(pid_t pid, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    ::kill(pid, SIGTERM);
    while (clock.elapsed() < limitMs) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return clock.nsecsElapsed() / 1e6;
        QThread::msleep(5);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

struct Result {
    double busyMs = -1, rssBefore = 0, rssAfter = 0, peak = 0, termMs = -2;
};

// One fresh bar, one burst of count messages named message; SIGTERM as soon as the burst is
// out when terminate is set, else once the bar has settled.
bool Run(const QString &program, const std::function<void()> &burst, bool terminate,
         Result *result) {
    QTemporaryDir home;
    if (!home.isValid() || !QDir().mkpath(home.filePath(QStringLiteral("config/orvane"))))
        return false;
    QFile ini(home.filePath(QStringLiteral("config/orvane/OV%1.INI").arg(QLatin1String(Profile))));
    const std::string settings = bench::FullSettings();
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write(settings.data(), qint64(settings.size())) != qint64(settings.size()))
        return false;
    ini.close();

    const pid_t pid = StartBar(program, home.path());
    QElapsedTimer startClock;
    startClock.start();
    if (WaitUntilQuiet(pid, startClock, 500, 60000) < 0) {
        QTextStream(stderr) << "the bar did not settle after starting\n";
        TerminateMs(pid, 5000);
        return false;
    }
    result->rssBefore = StatusMiB(pid, "VmRSS");

    const qint64 cpuBefore = CpuNs(pid);
    QElapsedTimer clock;
    clock.start();
    burst();
    if (terminate) {
        result->termMs = TerminateMs(pid, 30000);
        return true;
    }
    result->busyMs = WaitUntilQuiet(pid, clock, 500, 120000, cpuBefore);
    result->rssAfter = StatusMiB(pid, "VmRSS");
    result->peak = StatusMiB(pid, "VmHWM");
    result->termMs = TerminateMs(pid, 30000);
    return true;
}

// count shared-mode requests named message on the session bus.
void PostRequests(const QString &message, int count) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    for (int i = 0; i < count; ++i) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/Orvane"),
                                                         QStringLiteral("io.orvane.Shared"),
                                                         QStringLiteral("Message"));
        signal << message << uint(1) << int(0);
        bus.send(signal);
    }
    // A call comes back only after everything sent before it has gone out.
    bus.interface()->serviceOwner(QStringLiteral("org.freedesktop.DBus"));
}

// From each of senders made-up windows, the first pieces of a startup message that never ends
// (no closing NUL): one _NET_STARTUP_INFO_BEGIN, then pieces - 1 _NET_STARTUP_INFO.
bool SendStartupPieces(int senders, int pieces) {
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    auto intern = [connection](const char *name) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    };
    const xcb_atom_t begin = intern("_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = intern("_NET_STARTUP_INFO");
    for (int s = 0; s < senders; ++s) {
        for (int p = 0; p < pieces; ++p) {
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 8;
            event.window = 0x7f000000u + quint32(s);
            event.type = p == 0 ? begin : more;
            std::memset(event.data.data8, p == 0 ? 'n' : 'x', 20);
            xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                           reinterpret_cast<const char *>(&event));
        }
    }
    // A reply comes back only after everything sent before it has been handled.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
    return true;
}

QString Ms(double ms) {
    return ms == -2 ? QStringLiteral("-")
           : ms < 0 ? QStringLiteral("no end")
                    : QString::number(ms, 'f', 0);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: bench_flood ORVANE [startup]\n";
        return 2;
    }
    if (!QDBusConnection::sessionBus().isConnected()) {
        QTextStream(stderr) << "no session bus\n";
        return 2;
    }
    const QString program = QString::fromLocal8Bit(argv[1]);
    const QString reload = QStringLiteral("UOrvane") + QLatin1String(Profile);
    const QString rebuild = QStringLiteral("UOVForm") + QLatin1String(Profile);
    struct Case {
        QString name;
        std::function<void()> burst;
        bool terminate;
    };
    auto requests = [](const QString &message, int count) {
        return [message, count] { PostRequests(message, count); };
    };
    auto startupPieces = [](int senders, int pieces) {
        return [senders, pieces] {
            if (!SendStartupPieces(senders, pieces))
                QTextStream(stderr) << "no X display\n";
        };
    };
    const QList<Case> cases = {
        {QStringLiteral("reload x 10000"), requests(reload, 10000), false},
        {QStringLiteral("rebuild x 50"), requests(rebuild, 50), false},
        {QStringLiteral("rebuild x 100"), requests(rebuild, 100), false},
        {QStringLiteral("rebuild x 200"), requests(rebuild, 200), false},
        {QStringLiteral("rebuild x 400"), requests(rebuild, 400), false},
        {QStringLiteral("rebuild x 800"), requests(rebuild, 800), false},
        {QStringLiteral("rebuild x 10000"), requests(rebuild, 10000), false},
        {QStringLiteral("rebuild x 10000, SIGTERM"), requests(rebuild, 10000), true},
        {QStringLiteral("startup 200000 senders"), startupPieces(200000, 1), false},
        {QStringLiteral("startup 20000 x 200 pieces"), startupPieces(20000, 200), false},
    };
    // bench_flood ORVANE startup: the startup notification floods only.
    const bool startupOnly = argc > 2 && QByteArray(argv[2]) == "startup";
    QTextStream out(stdout);
    out << "Request floods on the session bus and startup notification floods on the display\n"
           "to a shared copy with 20 pages x 21 buttons\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
               .arg(QString(), -26)
               .arg(QStringLiteral("busy ms"), 9)
               .arg(QStringLiteral("RSS before"), 11)
               .arg(QStringLiteral("RSS after"), 10)
               .arg(QStringLiteral("peak MiB"), 9)
               .arg(QStringLiteral("SIGTERM ms"), 11);
    out.flush();
    for (const Case &c : cases) {
        if (startupOnly && !c.name.startsWith(QLatin1String("startup")))
            continue;
        Result r;
        if (!Run(program, c.burst, c.terminate, &r))
            return 1;
        out << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                   .arg(c.name, -26)
                   .arg(Ms(c.terminate ? -2 : r.busyMs), 9)
                   .arg(r.rssBefore, 11, 'f', 1)
                   .arg(c.terminate ? QStringLiteral("-") : QString::number(r.rssAfter, 'f', 1), 10)
                   .arg(c.terminate ? QStringLiteral("-") : QString::number(r.peak, 'f', 1), 9)
                   .arg(Ms(r.termMs), 11);
        out.flush();
    }
    out << "(busy: from the first post to the bar's last working moment; SIGTERM: until it ended;\n"
           " \"no end\": still busy after 120 s, or not ended 30 s after SIGTERM)\n";
    return 0;
}
