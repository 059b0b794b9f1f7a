// The real bar on a Wayland session: a headless sway of the test's own with XWayland, the bar
// on Qt's Wayland platform when asked for, and through XWayland as it chooses by default; a
// program started from a button through the keyboard (a virtual keyboard, wtype). The program
// must get an activation token the compositor accepted either way, and through XWayland also
// the X11 startup identity. Skipped where sway or wtype is not installed
// (scripts/install-deps.sh installs them).

#include "Sway.h"
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

class TestWaylandLaunch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void launchedProgramGetsAToken_data();
    void launchedProgramGetsAToken();
    void tokenRoundTrip();

private:
    std::unique_ptr<Sway> sway_;
};

void TestWaylandLaunch::initTestCase() {
    for (const char *tool : {"sway", "swaymsg", "wtype", "xhost"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh installs it)").arg(QLatin1String(tool))));
    }
    sway_ = std::make_unique<Sway>();
    QString error;
    QVERIFY2(sway_->Start(Sway::XWayland::On, &error), qPrintable(error));
}

void TestWaylandLaunch::launchedProgramGetsAToken_data() {
    QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM, empty for the bar's own choice
    QTest::addColumn<bool>("x11");         // DISPLAY given
    QTest::addColumn<QString>("shell");    // how the bar's window reached sway
    QTest::newRow("native, asked for")
        << QStringLiteral("wayland") << true << QStringLiteral("xdg_shell");
    QTest::newRow("native, no XWayland") << QString() << false << QStringLiteral("xdg_shell");
    QTest::newRow("XWayland by default") << QString() << true << QStringLiteral("xwayland");
}

void TestWaylandLaunch::launchedProgramGetsAToken() {
    QFETCH(QString, platform);
    QFETCH(bool, x11);
    QFETCH(QString, shell);
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
    home.SetEnvironment(QStringLiteral("QT_QPA_PLATFORM"), platform);
    home.SetEnvironment(QStringLiteral("WAYLAND_DISPLAY"), sway_->Socket());
    home.SetEnvironment(QStringLiteral("DISPLAY"), x11 ? sway_->XDisplay() : QString());
    Bar bar(home, {});
    auto title = [&] { return sway_->WindowTitle(bar.Pid()); };
    QVERIFY2(PollUntil([&] { return title().contains(QLatin1String("Page 1 of")); }, 30000),
             qPrintable(bar.Diagnostics()));
    QCOMPARE(sway_->Window(bar.Pid()).value(QStringLiteral("shell")).toString(), shell);

    // A virtual keyboard arrives with each wtype; the pause lets the bar take it before the key.
    // A key lost to that race is pressed again.
    QVERIFY2(PollUntil([&] {
                 sway_->Client(QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("300"), QStringLiteral("-k"), QStringLiteral("Right")});
                 return PollUntil([&] { return title().endsWith(QLatin1String("Recorder")); }, 2000);
             }, 30000),
             qPrintable(title()));
    if (QStandardPaths::findExecutable(QStringLiteral("grim")).isEmpty() ||
        !sway_->Client(QStringLiteral("grim"),
                       {QStringLiteral(ORVANE_BUILD_DIR "/wayland-bar-%1.png")
                            .arg(QString::fromLatin1(QTest::currentDataTag())
                                     .replace(QLatin1String(", "), QLatin1String("-"))
                                     .replace(QLatin1Char(' '), QLatin1Char('-')))}))
        qInfo("no screenshot (grim)");
    else
        qInfo("screenshot: %s",
              qPrintable(QStringLiteral(ORVANE_BUILD_DIR "/wayland-bar-%1.png")
                             .arg(QString::fromLatin1(QTest::currentDataTag())
                                      .replace(QLatin1String(", "), QLatin1String("-"))
                                      .replace(QLatin1Char(' '), QLatin1Char('-')))));
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
    if (shell == QLatin1String("xwayland")) {
        // An X11 program finds the bar's startup identity there, with the time of the start.
        QVERIFY2(lines[1] != token && lines[1] != "<unset>" && !lines[1].isEmpty(),
                 lines[1].constData());
    } else {
        QCOMPARE(lines[1], token); // DESKTOP_STARTUP_ID, where toolkits also look
    }
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
