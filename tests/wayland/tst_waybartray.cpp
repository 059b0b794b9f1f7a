// The bar's icon in waybar's tray, under a headless sway: waybar is a StatusNotifierItem host
// that draws the icon's menu itself from the menu the bar exports over D-Bus. A right click on
// the icon, made with sway's own seat pointer as a person's, must open the bar's tray menu with
// its current entries, and an entry clicked there must do what it does in the bar's own popup.
// The menu's traffic is watched with dbus-monitor; what waybar shows is read from grim's
// pictures (build/sway-traymenu-*.png). Skipped where sway, waybar or a tool is not installed.

#include "../e2e/BarDriver.h"
#include "../e2e/ExportedMenu.h"
#include "SessionBus.h"
#include "Sway.h"

#include <QtTest>

using namespace e2e;

namespace {
// One bar along the bottom of the screen holding only the tray, on a plain background so that
// the icon is told from the bar by its pixels.
const QByteArray kWaybarConfig =
    R"({ "layer": "top", "position": "bottom", "height": 30, "modules-right": ["tray"],
  "tray": { "icon-size": 20, "spacing": 4 } })";
const QByteArray kWaybarStyle = "window#waybar { background: #000000; }\n";
const QRgb kWaybarBackground = qRgb(0, 0, 0);

bool WriteFile(const QString &path, const QByteArray &text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// waybar on the compositor, natively, with a home of its own, for as long as it lives.
class Waybar {
public:
    bool Start(const Sway &sway) {
        const QString config = dir_.filePath(QStringLiteral("config"));
        const QString style = dir_.filePath(QStringLiteral("style.css"));
        const QString runtime = dir_.filePath(QStringLiteral("runtime"));
        if (!WriteFile(config, kWaybarConfig) || !WriteFile(style, kWaybarStyle) ||
            !QDir().mkpath(runtime) ||
            !QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), sway.Socket());
        env.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("HOME"), dir_.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral("waybar"),
                       {QStringLiteral("-c"), config, QStringLiteral("-s"), style});
        // Ready once its tray has registered as the host of status notifier items.
        return process_.waitForStarted() && PollUntil([] { return HostRegistered(); }, 30000);
    }
    QString Output() { return QString::fromLocal8Bit(process_.readAll()); }
    ~Waybar() {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished();
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
};

// A pointer device on sway's seat (tests/wayland/programs/pointer_device.cpp), for as long as it
// lives: without one, sway's clients get no pointer, and its seat's clicks reach nobody.
class PointerDevice {
public:
    bool Start(const Sway &sway) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), sway.Socket());
        process_.setProcessEnvironment(env);
        process_.start(QStringLiteral(POINTER_DEVICE_PROGRAM), {});
        return process_.waitForStarted() && PollUntil([this] {
                   output_ += process_.readAllStandardOutput();
                   return output_.contains("ready\n") || process_.state() == QProcess::NotRunning;
               }) &&
               process_.state() == QProcess::Running;
    }
    QString Output() { return QString::fromLocal8Bit(output_ + process_.readAllStandardError()); }
    ~PointerDevice() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished();
    }

private:
    QProcess process_;
    QByteArray output_;
};

// The bounding box of the rows in which at least minRun pixels differ between two pictures:
// what came up between them (a menu), without the small things that moved (the cursor).
QRect ChangedArea(const QImage &before, const QImage &after, int minRun) {
    QRect area;
    if (before.size() != after.size())
        return area;
    for (int y = 0; y < after.height(); ++y) {
        int changed = 0, left = after.width(), right = -1;
        for (int x = 0; x < after.width(); ++x) {
            if (before.pixel(x, y) != after.pixel(x, y)) {
                ++changed;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        if (changed >= minRun)
            area |= QRect(QPoint(left, y), QPoint(right, y));
    }
    return area;
}

// The pixels within a strip that are not the strip's background: the icon it holds.
QRect IconIn(const QImage &screen, const QRect &strip) {
    QRect icon;
    for (int y = strip.top(); y <= strip.bottom(); ++y)
        for (int x = strip.left(); x <= strip.right(); ++x)
            if (screen.pixel(x, y) != kWaybarBackground)
                icon |= QRect(x, y, 1, 1);
    return icon;
}

bool BarShown(const Sway &sway, const Bar &bar) {
    return !sway.Window(bar.Pid(), QStringLiteral("Page [0-9]+ of")).isEmpty();
}
} // namespace

class TestWaybarTray : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void menuOpensFromTheIcon();

private:
    QImage Screen() const {
        const QString path = pictures_.filePath(QStringLiteral("screen.png"));
        return sway_->Client(QStringLiteral("grim"), {path})
                   ? QImage(path).convertToFormat(QImage::Format_RGB32)
                   : QImage();
    }
    void SaveScreen(const QImage &screen, const char *name) const {
        const QString path =
            QStringLiteral(ORVANE_BUILD_DIR "/sway-traymenu-%1.png").arg(QLatin1String(name));
        if (screen.save(path))
            qInfo("screenshot: %s", qPrintable(path));
    }
    // The strip of the screen that waybar holds: the output less the workspace beside it.
    QRect WaybarStrip() const {
        const QJsonObject tree =
            QJsonDocument::fromJson(
                sway_->Message({QStringLiteral("-t"), QStringLiteral("get_tree")}))
                .object();
        for (const QJsonValue output : tree.value(QStringLiteral("nodes")).toArray()) {
            const QJsonObject node = output.toObject();
            if (node.value(QStringLiteral("name")).toString() == QLatin1String("__i3"))
                continue;
            const QRect screen = Rect(node.value(QStringLiteral("rect")));
            const QJsonArray workspaces = node.value(QStringLiteral("nodes")).toArray();
            if (workspaces.isEmpty())
                return {};
            const QRect workspace =
                Rect(workspaces.first().toObject().value(QStringLiteral("rect")));
            return QRect(QPoint(screen.left(), workspace.bottom() + 1), screen.bottomRight());
        }
        return {};
    }
    static QRect Rect(const QJsonValue &value) {
        const QJsonObject rect = value.toObject();
        return QRect(rect.value(QStringLiteral("x")).toInt(),
                     rect.value(QStringLiteral("y")).toInt(),
                     rect.value(QStringLiteral("width")).toInt(),
                     rect.value(QStringLiteral("height")).toInt());
    }
    // Clicks with the seat's pointer, as a person's hand on a mouse would.
    void Click(const QPoint &at, const char *button) const {
        sway_->Message({QStringLiteral("seat"), QStringLiteral("-"), QStringLiteral("cursor"),
                        QStringLiteral("set"), QString::number(at.x()), QString::number(at.y())});
        for (const char *action : {"press", "release"})
            sway_->Message({QStringLiteral("seat"), QStringLiteral("-"), QStringLiteral("cursor"),
                            QLatin1String(action), QLatin1String(button)});
    }
    // Right-clicks the icon and waits until waybar has asked for the menu and shows it; the
    // menu's place on the screen, empty when it did not come.
    QRect OpenMenu(MenuTraffic &traffic, const QString &menuPath) {
        traffic.Forget();
        Click(icon_.center(), "button3");
        if (!PollUntil([&] { return traffic.SeenOn(menuPath, "member=AboutToShow"); }))
            return {};
        QRect menu;
        PollUntil([&] {
            const QImage screen = Screen();
            // A menu is wider than the icon and the cursor; it has stopped growing when two
            // pictures agree.
            const QRect seen = ChangedArea(idle_, screen, icon_.width() * 3);
            const bool settled = !seen.isEmpty() && seen == menu;
            menu = seen;
            last_ = screen;
            return settled;
        });
        return menu;
    }
    bool WaitUntilClosed() {
        return PollUntil([&] { return ChangedArea(idle_, Screen(), icon_.width() * 3).isEmpty(); });
    }

    QTemporaryDir pictures_;
    SessionBus bus_;
    std::unique_ptr<Sway> sway_;
    std::unique_ptr<Waybar> waybar_;
    QImage idle_, last_; // the screen with waybar and the icon alone; the latest picture
    QRect icon_;
};

void TestWaybarTray::initTestCase() {
    for (const char *tool : {"sway", "swaymsg", "waybar", "grim", "xhost", "xdotool", "gdbus",
                             "dbus-monitor", "dbus-daemon"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(
                QStringLiteral("%1 is not installed (scripts/install-deps.sh installs it)")
                    .arg(QLatin1String(tool))));
    }
    QString error;
    QVERIFY2(bus_.Start(&error), qPrintable(error));
    // The test's own bus for everything from here on: waybar, the bar, gdbus, dbus-monitor.
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.Address().toLocal8Bit());
    sway_ = std::make_unique<Sway>();
    QVERIFY2(sway_->Start(Sway::XWayland::On, &error), qPrintable(error));
    qputenv("DISPLAY", sway_->XDisplay().toLocal8Bit()); // for xdotool
    waybar_ = std::make_unique<Waybar>();
    QVERIFY2(waybar_->Start(*sway_), qPrintable(waybar_->Output()));
}

void TestWaybarTray::menuOpensFromTheIcon() {
    BarHome home;
    Recorder recorder(home.Path("data") + QStringLiteral("/recorder"));
    QVERIFY(recorder.Install());
    QVERIFY(home.WriteSettings(
        "[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\nHide=Yes\nShrink=No\n"
        "[Pages]\nCount=2\n[Programs]\nSpeedButton2=" +
        ShellWord(recorder.Path()).toUtf8() +
        "\n[Parameters]\nSpeedButton2= from-the-tray\n[MRU]\nCount=1\n1=Recorder  |2\n"));
    // As the session starts it: the bar chooses XWayland itself.
    home.UnsetEnvironment(QStringLiteral("QT_QPA_PLATFORM"));
    home.SetEnvironment(QStringLiteral("WAYLAND_DISPLAY"), sway_->Socket());
    home.SetEnvironment(QStringLiteral("DISPLAY"), sway_->XDisplay());
    home.SetEnvironment(QStringLiteral("SWAYSOCK"), sway_->Ipc());
    Bar bar(home, {});
    QJsonObject window;
    QVERIFY2(PollUntil(
                 [&] {
                     window = sway_->Window(bar.Pid(), QStringLiteral("Page [0-9]+ of"));
                     return Sway::Frame(window).topLeft() == QPoint(50, 100);
                 },
                 30000),
             qPrintable(QStringLiteral("frame at %1,%2; ")
                            .arg(Sway::Frame(window).x())
                            .arg(Sway::Frame(window).y()) +
                        bar.Diagnostics()));

    // The gauge hides the bar into the tray; the icon registers with waybar, menu and all.
    const QPoint gauge = Sway::Client(window).topLeft() + QPoint(22, 9);
    QVERIFY(Xdo({QStringLiteral("mousemove"), QString::number(gauge.x()),
                 QString::number(gauge.y()), QStringLiteral("click"), QStringLiteral("1")}));
    QString item;
    QVERIFY2(
        PollUntil([&] { return !BarShown(*sway_, bar) && !(item = RegisteredItem()).isEmpty(); }),
        qPrintable(bar.Diagnostics()));
    QString menuProperty;
    const QString menuPath = MenuPath(item, &menuProperty);
    QVERIFY2(!menuPath.isEmpty() && menuPath != QLatin1String("/NO_DBUSMENU"),
             qPrintable(menuProperty));
    const QStringList launched{QStringLiteral("Switch to _Setup Options >"),
                               QStringLiteral("Recorder  |2")};
    QCOMPARE(Labels(ShownEntries(item, menuPath)), launched);

    // The icon, found where waybar draws it.
    const QRect strip = WaybarStrip();
    QVERIFY2(strip.height() > 0,
             qPrintable(sway_->Message({QStringLiteral("-t"), QStringLiteral("get_tree")})));
    QVERIFY2(PollUntil([&] {
                 idle_ = Screen();
                 icon_ = IconIn(idle_, strip);
                 return icon_.width() >= 10 && icon_.height() >= 10;
             }),
             qPrintable(QStringLiteral("no icon in the strip %1,%2 %3x%4; waybar:\n%5")
                            .arg(strip.x())
                            .arg(strip.y())
                            .arg(strip.width())
                            .arg(strip.height())
                            .arg(waybar_->Output())));
    PointerDevice pointer;
    QVERIFY2(pointer.Start(*sway_), qPrintable(pointer.Output()));
    QVERIFY(WaitUntilClosed()); // the cursor, drawn from now on, is too small for a menu
    idle_ = Screen();

    // A right click on the icon: waybar asks for the bar's menu and shows it.
    MenuTraffic traffic;
    QVERIFY(traffic.Start());
    QRect menu = OpenMenu(traffic, menuPath);
    QVERIFY2(!menu.isEmpty(), qPrintable(traffic.Text() + waybar_->Output()));
    SaveScreen(last_, "launched");
    // Two entries with a separator between them: more than two lines of text high.
    QVERIFY2(menu.height() > 40, qPrintable(QString::number(menu.height())));

    // The recently launched entry, clicked in waybar's menu, starts its program as from the bar.
    Click(QPoint(menu.center().x(), menu.bottom() - 12), "button1");
    QVERIFY2(recorder.WaitUntilRan(), qPrintable(traffic.Text() + bar.Diagnostics()));
    QVERIFY2(PollUntil([&] { return traffic.SeenOn(menuPath, "member=Event"); }),
             qPrintable(traffic.Text()));
    QCOMPARE(recorder.Record().mid(1), QStringList{QStringLiteral("from-the-tray")});
    QVERIFY(WaitUntilClosed());

    // The switch, clicked there: the next opening shows the setup options, a longer menu.
    const QRect again = OpenMenu(traffic, menuPath);
    QVERIFY(!again.isEmpty());
    Click(QPoint(again.center().x(), again.top() + 12), "button1");
    QVERIFY2(PollUntil([&] {
                 return IniValue(home.SettingsFile(), QStringLiteral("Menu"),
                                 QStringLiteral("Show")) == QLatin1String("Setup");
             }),
             qPrintable(traffic.Text()));
    QVERIFY(
        Labels(ShownEntries(item, menuPath)).contains(QStringLiteral("Start with the _Desktop")));
    QVERIFY(WaitUntilClosed());
    const QRect setup = OpenMenu(traffic, menuPath);
    SaveScreen(last_, "setup");
    QVERIFY2(setup.height() > menu.height() * 2,
             qPrintable(QStringLiteral("%1 then %2 high").arg(menu.height()).arg(setup.height())));
}

QTEST_GUILESS_MAIN(TestWaybarTray)
#include "tst_waybartray.moc"
