// A headless sway of the test's own, with a debug log. Sway refuses to run as root, so under root
// it runs as "nobody" (root still reaches its sockets). With XWayland, the test's own X clients
// (the bar, xdotool) are let in with xhost; run such a test in a mount and network namespace of
// its own (tests/wayland/in-namespace.sh), where the X display number is always free.
#pragma once

#include "../e2e/BarHarness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRect>
#include <QStandardPaths>
#include <pwd.h>
#include <unistd.h>

namespace e2e {

class Sway {
public:
    enum class XWayland { Off, On };

    bool Start(XWayland xwayland, QString *error) {
        if (!runtime_.isValid()) {
            *error = QStringLiteral("no temporary directory");
            return false;
        }
        const QString config = runtime_.filePath(QStringLiteral("sway.conf"));
        QFile file(config);
        const QByteArray text =
            QByteArrayLiteral("output HEADLESS-1 resolution 1280x800\n") +
            (xwayland == XWayland::On ? "xwayland enable\n" : "xwayland disable\n");
        if (!file.open(QIODevice::WriteOnly) || file.write(text) < 0) {
            *error = QStringLiteral("cannot write the configuration");
            return false;
        }
        file.close();
        const QStringList xSocketsBefore = XSockets();
        QStringList command{QStringLiteral("sway"), QStringLiteral("-d"), QStringLiteral("-c"),
                            config};
        if (::getuid() == 0) {
            const passwd *nobody = ::getpwnam("nobody");
            if (!nobody ||
                ::chown(QFile::encodeName(runtime_.path()).constData(), nobody->pw_uid,
                        nobody->pw_gid) != 0 ||
                ::chown(QFile::encodeName(config).constData(), nobody->pw_uid, nobody->pw_gid) !=
                    0) {
                *error = QStringLiteral("running as root, and no user nobody to run sway as");
                return false;
            }
            asUser_ = QStringList{
                QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                QStringLiteral("--regid=%1").arg(nobody->pw_gid), QStringLiteral("--clear-groups")};
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        env.insert(QStringLiteral("HOME"), runtime_.path());
        env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setStandardOutputFile(runtime_.filePath(QStringLiteral("sway.log")));
        command = asUser_ + command;
        process_.start(command.takeFirst(), command);
        const bool up = PollUntil(
            [&] {
                for (const QFileInfo &entry : QDir(runtime_.path()).entryInfoList(QDir::System)) {
                    if (entry.fileName().startsWith(QLatin1String("wayland-")) &&
                        !entry.fileName().endsWith(QLatin1String(".lock")))
                        socket_ = entry.filePath();
                    else if (entry.fileName().startsWith(QLatin1String("sway-ipc.")))
                        ipc_ = entry.filePath();
                }
                // XWayland waits for its first client, but its socket is there at once.
                if (xwayland == XWayland::On && display_.isEmpty()) {
                    for (const QString &name : XSockets()) {
                        if (!xSocketsBefore.contains(name))
                            display_ = QLatin1Char(':') + name.mid(1);
                    }
                }
                return (!socket_.isEmpty() && !ipc_.isEmpty() &&
                        (xwayland == XWayland::Off || !display_.isEmpty())) ||
                       process_.state() == QProcess::NotRunning;
            },
            30000);
        if (!up || process_.state() == QProcess::NotRunning) {
            *error = QStringLiteral("sway did not start:\n") + Log();
            return false;
        }
        if (xwayland == XWayland::On && !asUser_.isEmpty() &&
            !Run(asUser_.first(),
                 asUser_.mid(1) +
                     QStringList{QStringLiteral("xhost"), QStringLiteral("+si:localuser:root")},
                 {{QStringLiteral("DISPLAY"), display_}})) {
            *error = QStringLiteral("xhost could not let root into XWayland:\n") + Log();
            return false;
        }
        return true;
    }
    ~Sway() {
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    // The compositor's socket, as an absolute WAYLAND_DISPLAY; its IPC socket (SWAYSOCK); its
    // XWayland's DISPLAY.
    const QString &Socket() const { return socket_; }
    const QString &Ipc() const { return ipc_; }
    const QString &XDisplay() const { return display_; }
    QString Log() const {
        QFile file(runtime_.filePath(QStringLiteral("sway.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }
    // swaymsg's answer (a command, or "-t get_tree" and the like).
    QByteArray Message(const QStringList &arguments) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SWAYSOCK"), ipc_);
        QProcess swaymsg;
        swaymsg.setProcessEnvironment(env);
        swaymsg.start(QStringLiteral("swaymsg"), QStringList{QStringLiteral("-r")} + arguments);
        swaymsg.waitForFinished(15000);
        return swaymsg.readAllStandardOutput();
    }
    // The window of a process in sway's tree (the first whose title matches), empty when none.
    QJsonObject Window(qint64 pid, const QString &titlePattern = QStringLiteral(".")) const {
        return Find(
            QJsonDocument::fromJson(Message({QStringLiteral("-t"), QStringLiteral("get_tree")}))
                .object(),
            pid, QRegularExpression(titlePattern));
    }
    // The title of a process's window, empty while it has none.
    QString WindowTitle(qint64 pid) const {
        return Window(pid).value(QStringLiteral("name")).toString();
    }
    // Where sway drew a window's frame (title bar and border included), as measured in its tree.
    static QRect Frame(const QJsonObject &window) {
        const QRect rect = Rect(window.value(QStringLiteral("rect")));
        const int title = Rect(window.value(QStringLiteral("deco_rect"))).height();
        return rect.adjusted(0, -title, 0, 0);
    }
    // The client area of a window, as measured in its tree.
    static QRect Client(const QJsonObject &window) {
        const QRect inner = Rect(window.value(QStringLiteral("window_rect")));
        return inner.translated(Rect(window.value(QStringLiteral("rect"))).topLeft());
    }
    // Runs a Wayland client of the session (wtype, grim) to its end; true when it succeeded.
    bool Client(const QString &program, const QStringList &arguments) const {
        return Run(program, arguments, {{QStringLiteral("WAYLAND_DISPLAY"), socket_}});
    }

private:
    static QStringList XSockets() {
        return QDir(QStringLiteral("/tmp/.X11-unix")).entryList(QDir::System);
    }
    static QRect Rect(const QJsonValue &value) {
        const QJsonObject rect = value.toObject();
        return QRect(rect.value(QStringLiteral("x")).toInt(),
                     rect.value(QStringLiteral("y")).toInt(),
                     rect.value(QStringLiteral("width")).toInt(),
                     rect.value(QStringLiteral("height")).toInt());
    }
    static bool Run(const QString &program, const QStringList &arguments,
                    const QList<QPair<QString, QString>> &extra) {
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : extra)
            env.insert(name, value);
        client.setProcessEnvironment(env);
        client.start(program, arguments);
        return client.waitForFinished(15000) && client.exitStatus() == QProcess::NormalExit &&
               client.exitCode() == 0;
    }
    static QJsonObject Find(const QJsonObject &node, qint64 pid, const QRegularExpression &title) {
        if (node.value(QStringLiteral("pid")).toInteger() == pid &&
            title.match(node.value(QStringLiteral("name")).toString()).hasMatch())
            return node;
        for (const char *children : {"nodes", "floating_nodes"}) {
            for (const QJsonValue child : node.value(QLatin1String(children)).toArray()) {
                const QJsonObject found = Find(child.toObject(), pid, title);
                if (!found.isEmpty())
                    return found;
            }
        }
        return {};
    }

    QTemporaryDir runtime_;
    QProcess process_;
    QStringList asUser_;
    QString socket_, ipc_, display_;
};

} // namespace e2e
