// The real bar on a Wayland session: a headless sway of the test's own, the bar on Qt's Wayland
// platform, a program started from a button through the keyboard (a virtual keyboard, wtype).
// The program must get an activation token the compositor accepted. Skipped where sway or wtype
// is not installed (scripts/install-deps.sh installs them).

#include "../e2e/BarHarness.h"
#include "platform/linux/WaylandActivation.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QtTest>
#include <algorithm>
#include <pwd.h>
#include <unistd.h>
#include <wayland-client.h>

using namespace e2e;

namespace {
// A headless sway with a debug log. Sway refuses to run as root, so under root it runs as
// "nobody" (root still reaches its sockets).
class Sway {
public:
    bool Start(QString *error) {
        if (!runtime_.isValid()) {
            *error = QStringLiteral("no temporary directory");
            return false;
        }
        const QString config = runtime_.filePath(QStringLiteral("sway.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) || file.write("output HEADLESS-1 resolution 1280x800\n") < 0) {
            *error = QStringLiteral("cannot write the configuration");
            return false;
        }
        file.close();
        QStringList command{QStringLiteral("sway"), QStringLiteral("-d"), QStringLiteral("-c"), config};
        if (::getuid() == 0) {
            const passwd *nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(QFile::encodeName(runtime_.path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0 ||
                ::chown(QFile::encodeName(config).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
                *error = QStringLiteral("running as root, and no user nobody to run sway as");
                return false;
            }
            command = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                                  QStringLiteral("--regid=%1").arg(nobody->pw_gid), QStringLiteral("--clear-groups")} +
                      command;
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
        process_.start(command.takeFirst(), command);
        const bool up = PollUntil([this] {
            for (const QFileInfo &entry : QDir(runtime_.path()).entryInfoList(QDir::System)) {
                if (entry.fileName().startsWith(QLatin1String("wayland-")) && !entry.fileName().endsWith(QLatin1String(".lock")))
                    socket_ = entry.filePath();
                else if (entry.fileName().startsWith(QLatin1String("sway-ipc.")))
                    ipc_ = entry.filePath();
            }
            return (!socket_.isEmpty() && !ipc_.isEmpty()) || process_.state() == QProcess::NotRunning;
        }, 30000);
        if (!up || process_.state() == QProcess::NotRunning) {
            *error = QStringLiteral("sway did not start:\n") + Log();
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
    // The compositor's socket, as an absolute WAYLAND_DISPLAY.
    const QString &Socket() const { return socket_; }
    QString Log() const {
        QFile file(runtime_.filePath(QStringLiteral("sway.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }
    // The title of a process's window, empty while it has none.
    QString WindowTitle(qint64 pid) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SWAYSOCK"), ipc_);
        QProcess swaymsg;
        swaymsg.setProcessEnvironment(env);
        swaymsg.start(QStringLiteral("swaymsg"), {QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree")});
        swaymsg.waitForFinished(15000);
        return FindTitle(QJsonDocument::fromJson(swaymsg.readAllStandardOutput()).object(), pid);
    }
    // Runs a Wayland client of the session (wtype, grim) to its end; true when it succeeded.
    bool Client(const QString &program, const QStringList &arguments) const {
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket_);
        client.setProcessEnvironment(env);
        client.start(program, arguments);
        return client.waitForFinished(15000) && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
    }

private:
    static QString FindTitle(const QJsonObject &node, qint64 pid) {
        if (node.value(QStringLiteral("pid")).toInteger() == pid)
            return node.value(QStringLiteral("name")).toString();
        for (const char *children : {"nodes", "floating_nodes"}) {
            for (const QJsonValue child : node.value(QLatin1String(children)).toArray()) {
                const QString title = FindTitle(child.toObject(), pid);
                if (!title.isEmpty())
                    return title;
            }
        }
        return {};
    }

    QTemporaryDir runtime_;
    QProcess process_;
    QString socket_, ipc_;
};
} // namespace

class TestWaylandLaunch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void launchedProgramGetsAToken();
    void tokenRoundTrip();

private:
    std::unique_ptr<Sway> sway_;
};

void TestWaylandLaunch::initTestCase() {
    for (const char *tool : {"sway", "swaymsg", "wtype"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh installs it)").arg(QLatin1String(tool))));
    }
    sway_ = std::make_unique<Sway>();
    QString error;
    QVERIFY2(sway_->Start(&error), qPrintable(error));
}

void TestWaylandLaunch::launchedProgramGetsAToken() {
    BarHome home;
    QVERIFY(home.IsValid());
    QTemporaryDir files;
    QVERIFY(files.isValid());
    const QString program = files.filePath(QStringLiteral("recorder"));
    const QString record = program + QStringLiteral(".record");
    {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n"
                   "printf '%s\\n' \"${XDG_ACTIVATION_TOKEN-<unset>}\" \"${DESKTOP_STARTUP_ID-<unset>}\" > \"$0.part\"\n"
                   "mv \"$0.part\" \"$0.record\"\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\nShrink=No\n"
                               "[Programs]\nSpeedButton1=" + program.toUtf8() +
                               "\n[Names]\nSpeedButton1=Recorder\n"));
    home.SetEnvironment(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    home.SetEnvironment(QStringLiteral("WAYLAND_DISPLAY"), sway_->Socket());
    home.SetEnvironment(QStringLiteral("DISPLAY"), QString());
    Bar bar(home, {});
    auto title = [&] { return sway_->WindowTitle(bar.Pid()); };
    QVERIFY2(PollUntil([&] { return title().contains(QLatin1String("Page 1 of")); }, 30000),
             qPrintable(bar.Diagnostics()));

    // A virtual keyboard arrives with each wtype; the pause lets the bar take it before the key.
    // A key lost to that race is pressed again.
    QVERIFY2(PollUntil([&] {
                 sway_->Client(QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("300"), QStringLiteral("-k"), QStringLiteral("Right")});
                 return PollUntil([&] { return title().endsWith(QLatin1String("Recorder")); }, 2000);
             }, 30000),
             qPrintable(title()));
    if (QStandardPaths::findExecutable(QStringLiteral("grim")).isEmpty() ||
        !sway_->Client(QStringLiteral("grim"), {QStringLiteral(ORVANE_BUILD_DIR "/wayland-bar.png")}))
        qInfo("no screenshot (grim)");
    else
        qInfo("screenshot: %s", ORVANE_BUILD_DIR "/wayland-bar.png");
    QVERIFY2(PollUntil([&] {
                 sway_->Client(QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("300"), QStringLiteral("-k"), QStringLiteral("Return")});
                 return PollUntil([&] { return QFile::exists(record); }, 3000);
             }, 30000),
             qPrintable(bar.Diagnostics()));

    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY2(lines.size() >= 2, lines.join('|').constData());
    const QByteArray token = lines[0];
    QVERIFY2(!token.isEmpty() && token != "<unset>", "the program got no activation token");
    QCOMPARE(lines[1], token); // DESKTOP_STARTUP_ID, where toolkits also look
    // The compositor took the request as it came (the bar's surface with the keyboard, the key's
    // serial): it turns down a request with a wrong surface or serial in its log, and hands out
    // a token all the same.
    const QString log = sway_->Log();
    QVERIFY2(!log.contains(QLatin1String("Rejecting token")),
             qPrintable(log.split(QLatin1Char('\n')).filter(QStringLiteral("Rejecting token")).join(QLatin1Char('\n'))));
}

// How long a token takes from the real compositor: reported, not judged.
void TestWaylandLaunch::tokenRoundTrip() {
    wl_display *display = wl_display_connect(QFile::encodeName(sway_->Socket()).constData());
    QVERIFY(display);
    {
        WaylandActivation activation(display);
        QVERIFY(activation.Available());
        QList<qint64> times;
        for (int i = 0; i < 50; ++i) {
            QElapsedTimer timer;
            timer.start();
            QVERIFY(!activation.RequestToken(QStringLiteral("xterm"), {}).isEmpty());
            times << timer.nsecsElapsed() / 1000;
        }
        std::sort(times.begin(), times.end());
        qInfo("token round trip: median %lld us, slowest %lld us (of %lld)", times[times.size() / 2], times.last(),
              qint64(times.size()));
    }
    wl_display_disconnect(display);
}

QTEST_GUILESS_MAIN(TestWaylandLaunch)
#include "tst_activation.moc"
