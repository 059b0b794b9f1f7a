#pragma once

// A desktop's own Wayland compositor for a test: started headless with XWayland on a session bus
// of its own, waited for until its sockets answer and its X window manager is up, and stopped
// with everything it started, also when the test fails or dies.
//
// Every XWayland takes the first free X display number, and X servers listen on abstract sockets
// besides /tmp/.X11-unix: a test program that runs compositors first enters a mount and network
// namespace of its own with an empty /tmp (COMPOSITOR_TEST_MAIN), so that its displays never meet
// another test's or the machine's.

#include "../e2e/BarHarness.h"
#include "SessionBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace e2e {

// Why the namespace could not be made; empty once the program is in it.
inline QString &PrivateNamespaceError() {
    static QString error = QStringLiteral("the test did not ask for a namespace of its own");
    return error;
}

namespace detail {
inline bool WriteFile(const char *path, const QByteArray &text) {
    const int fd = ::open(path, O_WRONLY);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    return written;
}
} // namespace detail

// Enters a mount and network namespace with a private /tmp/.X11-unix. Call it first in main(), before
// any thread starts. Root needs nothing more; anyone else gets a user namespace in which they
// are root, where the kernel allows one.
inline void EnterPrivateNamespace() {
    QString &error = PrivateNamespaceError();
    if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) {
        const int plainErrno = errno;
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (uid == 0 || ::unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) != 0) {
            error = QStringLiteral("cannot enter a mount and network namespace of its own: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(uid == 0 ? plainErrno : errno)));
            return;
        }
        if (!detail::WriteFile("/proc/self/setgroups", "deny") ||
            !detail::WriteFile("/proc/self/uid_map",
                               QByteArray("0 ") + QByteArray::number(uid) + " 1") ||
            !detail::WriteFile("/proc/self/gid_map",
                               QByteArray("0 ") + QByteArray::number(gid) + " 1")) {
            error = QStringLiteral("cannot map the user into its namespace");
            return;
        }
    }
    // Only the X socket folder is private: the build and the sources may well lie under /tmp,
    // and the display lock files left in /tmp keep the numbers in use elsewhere taken. The
    // compositors' XWayland refuses a socket folder others could take over: mode 1777.
    if (::mkdir("/tmp/.X11-unix", 01777) != 0 && errno != EEXIST) {
        error = QStringLiteral("cannot make /tmp/.X11-unix");
        return;
    }
    // Private first: the tmpfs must not show in the namespace the mounts came from.
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/tmp/.X11-unix", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0) {
        error = QStringLiteral("cannot mount a private /tmp/.X11-unix: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    ::unsetenv("TMPDIR");
    error.clear();
}

class CompositorSession {
public:
    enum class Kind { Mutter, KWin };

    explicit CompositorSession(Kind kind) : kind_(kind) {}
    ~CompositorSession() { Stop(); }
    CompositorSession(const CompositorSession &) = delete;
    CompositorSession &operator=(const CompositorSession &) = delete;

    static QString Program(Kind kind) {
        return kind == Kind::Mutter ? QStringLiteral("mutter") : QStringLiteral("kwin_wayland");
    }
    QString Name() const { return Program(kind_); }

    // Empty when the compositor can run here, else why not (for QSKIP).
    static QString Unavailable(Kind kind) {
        for (const QString &tool : {Program(kind), QStringLiteral("Xwayland"),
                                    QStringLiteral("dbus-daemon"), QStringLiteral("setpriv")})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                return QStringLiteral("%1 is not installed (scripts/install-deps.sh installs it)")
                    .arg(tool);
        if (!PrivateNamespaceError().isEmpty())
            return PrivateNamespaceError();
        return {};
    }

    // Starts the session bus and the compositor and waits until XWayland's window manager is up.
    bool Start(QString *error) {
        if (!runtime_.isValid() || !QDir(runtime_.path()).mkpath(QStringLiteral("home"))) {
            *error = QStringLiteral("no temporary directory");
            return false;
        }
        QFile::setPermissions(runtime_.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!bus_.Start(error))
            return false;

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM", "SWAYSOCK"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        env.insert(QStringLiteral("HOME"), runtime_.filePath(QStringLiteral("home")));
        for (const char *name :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_.Address());
        // KWin's screenshots otherwise go to the programs of its own desktop files only.
        env.insert(QStringLiteral("KWIN_SCREENSHOT_NO_PERMISSION_CHECKS"), QStringLiteral("1"));

        QString program = QStandardPaths::findExecutable(Name());
        QStringList arguments;
        const QString socketName = QStringLiteral("wayland-test");
        if (kind_ == Kind::Mutter) {
            arguments = {QStringLiteral("--headless"), QStringLiteral("--wayland"),
                         QStringLiteral("--virtual-monitor"), QStringLiteral("1280x800"),
                         QStringLiteral("--wayland-display=") + socketName};
        } else {
            // The installed binary carries a file capability that a container may not grant
            // ("Operation not permitted"); a copy carries none.
            const QString copy = runtime_.filePath(QStringLiteral("kwin_wayland"));
            if (!QFile::copy(program, copy) ||
                !QFile::setPermissions(copy,
                                       QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
                *error = QStringLiteral("cannot copy %1").arg(program);
                return false;
            }
            program = copy;
            arguments = {QStringLiteral("--virtual"),       QStringLiteral("--xwayland"),
                         QStringLiteral("--width"),         QStringLiteral("1280"),
                         QStringLiteral("--height"),        QStringLiteral("800"),
                         QStringLiteral("--socket"),        socketName,
                         QStringLiteral("--no-lockscreen"), QStringLiteral("--no-global-shortcuts"),
                         QStringLiteral("--no-kactivities")};
        }
        compositor_.setProcessEnvironment(env);
        compositor_.setProcessChannelMode(QProcess::MergedChannels);
        compositor_.setStandardOutputFile(runtime_.filePath(QStringLiteral("compositor.log")));
        // Killed with the test, whatever ends it; XWayland ends with its compositor.
        compositor_.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--pdeathsig"),
                                                                 QStringLiteral("KILL"), program} +
                                                         arguments);

        const QString socket = runtime_.filePath(socketName);
        const bool up = PollUntil(
            [&] {
                if (compositor_.state() == QProcess::NotRunning)
                    return true;
                if (!QFileInfo(socket).exists() || !FindXDisplay())
                    return false;
                return XClient(
                           QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .contains("window id");
            },
            60000);
        if (!up || compositor_.state() == QProcess::NotRunning) {
            *error = QStringLiteral("%1 did not start:\n%2").arg(Name(), Log());
            return false;
        }
        wayland_ = socket;
        return true;
    }

    // Stops the compositor (and with it XWayland), then the bus; waits for each.
    void Stop() {
        if (compositor_.state() != QProcess::NotRunning) {
            compositor_.terminate();
            if (!compositor_.waitForFinished(15000)) {
                compositor_.kill();
                compositor_.waitForFinished();
            }
        }
        bus_.Stop();
        // A killed XWayland leaves its socket and lock behind; the next session takes the number.
        if (!xDisplay_.isEmpty()) {
            QFile::remove(QStringLiteral("/tmp/.X11-unix/X") + xDisplay_.mid(1));
            QFile::remove(QStringLiteral("/tmp/.X%1-lock").arg(xDisplay_.mid(1)));
        }
    }

    bool Running() const { return compositor_.state() == QProcess::Running; }

    // Makes the session the desktop of this program and of everything it starts from now on
    // (bars through BarHome, xdotool, xwininfo, import).
    void Export() const {
        qputenv("DISPLAY", xDisplay_.toLocal8Bit());
        qputenv("WAYLAND_DISPLAY", QFile::encodeName(wayland_));
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.Address().toLocal8Bit());
        if (xAuthority_.isEmpty())
            qunsetenv("XAUTHORITY");
        else
            qputenv("XAUTHORITY", QFile::encodeName(xAuthority_));
    }

    const QString &XDisplay() const { return xDisplay_; }
    // An absolute path: good for WAYLAND_DISPLAY whatever XDG_RUNTIME_DIR a client has.
    const QString &WaylandSocket() const { return wayland_; }

    // What the compositor shows, frames included, where it hands out screenshots plainly (KWin);
    // a null image elsewhere (mutter's screen casts need PipeWire).
    QImage Screenshot() const {
        if (kind_ != Kind::KWin)
            return {};
        QDBusConnection bus =
            QDBusConnection::connectToBus(bus_.Address(), QStringLiteral("screenshot"));
        int fds[2];
        if (!bus.isConnected() || ::pipe2(fds, O_CLOEXEC) != 0)
            return {};
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
            QStringLiteral("org.kde.KWin.ScreenShot2"), QStringLiteral("CaptureArea"));
        call << 0 << 0 << uint(1280) << uint(800) << QVariantMap{}
             << QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]));
        const QDBusMessage reply = bus.call(call, QDBus::Block, 15000);
        ::close(fds[1]);
        QDBusConnection::disconnectFromBus(QStringLiteral("screenshot"));
        QVariantMap info;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            info = qdbus_cast<QVariantMap>(reply.arguments().first());
        else
            qInfo("no screenshot from %s: %s", qPrintable(Name()),
                  qPrintable(reply.errorMessage()));
        const int width = info.value(QStringLiteral("width")).toInt();
        const int height = info.value(QStringLiteral("height")).toInt();
        const qint64 size = qint64(info.value(QStringLiteral("stride")).toInt()) * height;
        // Read to the picture's size, each wait bounded: KWin may keep its end open.
        QByteArray data;
        char chunk[65536];
        pollfd readable{fds[0], POLLIN, 0};
        for (ssize_t n; data.size() < size && ::poll(&readable, 1, 10000) > 0 &&
                        (n = ::read(fds[0], chunk, sizeof chunk)) > 0;)
            data.append(chunk, n);
        ::close(fds[0]);
        if (width <= 0 || size <= 0 || data.size() < size)
            return {};
        return QImage(reinterpret_cast<const uchar *>(data.constData()), width, height,
                      int(size / height),
                      QImage::Format(info.value(QStringLiteral("format")).toInt()))
            .copy();
    }

    QString Log() const {
        QFile file(runtime_.filePath(QStringLiteral("compositor.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

private:
    // XWayland's display: the lowest socket (mutter's second one is for its own services), and
    // mutter's cookie where it has one.
    bool FindXDisplay() {
        const QStringList sockets =
            QDir(QStringLiteral("/tmp/.X11-unix"))
                .entryList({QStringLiteral("X*")}, QDir::System, QDir::Name);
        int lowest = -1;
        for (const QString &socket : sockets) {
            bool ok = false;
            const int number = socket.mid(1).toInt(&ok);
            if (ok && (lowest < 0 || number < lowest))
                lowest = number;
        }
        if (lowest < 0)
            return false;
        xDisplay_ = QStringLiteral(":%1").arg(lowest);
        const QStringList cookies =
            QDir(runtime_.path())
                .entryList({QStringLiteral(".mutter-Xwaylandauth.*")}, QDir::Files | QDir::Hidden);
        if (kind_ == Kind::Mutter && cookies.isEmpty())
            return false;
        xAuthority_ = cookies.isEmpty() ? QString() : runtime_.filePath(cookies.first());
        return true;
    }

    // Runs an X client of the session to its end; its output, empty when it failed.
    QByteArray XClient(const QString &program, const QStringList &arguments) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), xDisplay_);
        env.insert(QStringLiteral("XAUTHORITY"), xAuthority_);
        QProcess client;
        client.setProcessEnvironment(env);
        client.start(program, arguments);
        if (!client.waitForFinished(15000)) {
            client.kill();
            client.waitForFinished();
            return {};
        }
        return client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0
                   ? client.readAllStandardOutput()
                   : QByteArray();
    }

    Kind kind_;
    QTemporaryDir runtime_;
    SessionBus bus_;
    QProcess compositor_;
    QString wayland_, xDisplay_, xAuthority_;
};

} // namespace e2e

// main() for a test program that runs compositors: the namespace first, then the usual.
#define COMPOSITOR_TEST_MAIN(TestObject)                                                           \
    int main(int argc, char **argv) {                                                              \
        e2e::EnterPrivateNamespace();                                                              \
        QCoreApplication app(argc, argv);                                                          \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
