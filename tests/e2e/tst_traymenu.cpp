// The bar's icon on a StatusNotifierItem host (xfce4-panel's status tray): the host draws the
// icon's menu itself from the menu the bar exports over D-Bus, so a right click there must open
// the bar's tray menu with its current entries, and choosing an entry must do what it does in
// the bar's own popup. Watched with dbus-monitor; the host's popup is worked with the keyboard as
// a person would, and the exported menu is also read and clicked through D-Bus as a host does.

#include "BarDriver.h"
#include "ExportedMenu.h"

#include <QStandardPaths>
#include <QtTest>

using namespace e2e;

namespace {
const QPoint GaugeCentre(22, 9);
const QString kConfd = QStringLiteral("/usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd");

// One panel along the bottom of the screen holding only the status tray.
const QByteArray kPanelChannel = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=8;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
)";

// xfce4-panel with its settings daemon, both in a throw-away home, for as long as it lives.
class PanelHost {
public:
    bool Start() {
        const QString config =
            dir_.filePath(QStringLiteral("config/xfce4/xfconf/xfce-perchannel-xml"));
        QDir().mkpath(config);
        QDir().mkpath(dir_.filePath(QStringLiteral("runtime")));
        QFile channel(config + QStringLiteral("/xfce4-panel.xml"));
        if (!channel.open(QIODevice::WriteOnly) ||
            channel.write(kPanelChannel) != kPanelChannel.size())
            return false;
        channel.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir_.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), dir_.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir_.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.filePath(QStringLiteral("runtime")));
        // Started here rather than by the bus, which would give it the caller's home.
        confd_.setProcessEnvironment(env);
        confd_.start(kConfd, {});
        if (!confd_.waitForStarted() || !PollUntil([] {
                return Tool(QStringLiteral("gdbus"),
                            {QStringLiteral("introspect"), QStringLiteral("--session"),
                             QStringLiteral("-d"), QStringLiteral("org.xfce.Xfconf"),
                             QStringLiteral("-o"), QStringLiteral("/")})
                    .contains("node");
            }))
            return false;
        panel_.setProcessEnvironment(env);
        panel_.setProcessChannelMode(QProcess::MergedChannels);
        panel_.start(QStringLiteral("xfce4-panel"), {});
        // Ready once its tray has registered as the host of status notifier items.
        return panel_.waitForStarted() && PollUntil([] { return HostRegistered(); }, 30000);
    }
    // The panel's window: the icon is the first in it.
    QString Window() const {
        return QString::fromLatin1(
                   Tool(QStringLiteral("xdotool"),
                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                         QStringLiteral("--pid"), QString::number(panel_.processId()),
                         QStringLiteral("--classname"), QStringLiteral("^xfce4-panel$")}))
            .split(QLatin1Char('\n'))
            .value(0)
            .trimmed();
    }
    QString Output() { return QString::fromLocal8Bit(panel_.readAll()); }
    ~PanelHost() {
        for (QProcess *process : {&panel_, &confd_}) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished();
        }
    }

private:
    QTemporaryDir dir_;
    QProcess confd_;
    QProcess panel_;
};

// A right click on the first icon of the panel.
// Where the first icon of the panel's tray stands in the panel.
QRect IconArea(const QImage &panel) {
    return QRect(0, 0, 24, panel.height());
}

bool RightClickIcon(const QString &panelWindow) {
    const WindowPlace place = PlaceOf(panelWindow);
    const QPoint icon = place.client.topLeft() + IconArea(Grab(panelWindow)).center();
    return place.client.isValid() &&
           Xdo({QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0"),
                QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(icon.x()),
                QString::number(icon.y()), QStringLiteral("click"), QStringLiteral("3")});
}

bool BarShown(const Bar &bar) {
    return !FindWindows(bar.Pid(), QStringLiteral("^Velmora .*Page [0-9]+ of [0-9]+")).isEmpty();
}
} // namespace

class TestTrayMenu : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
    }
    void menuOnAStatusNotifierHost();
};

void TestTrayMenu::menuOnAStatusNotifierHost() {
    if (QStandardPaths::findExecutable(QStringLiteral("xfce4-panel")).isEmpty() ||
        !QFile::exists(kConfd))
        QSKIP("xfce4-panel is not installed (scripts/install-deps.sh installs it)");
    for (const char *tool : {"gdbus", "dbus-monitor"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    PanelHost panel;
    QVERIFY2(panel.Start(),
             qPrintable(QStringLiteral("xfce4-panel did not start:\n") + panel.Output()));

    const QImage emptyPanel = SettledGrab(panel.Window());
    BarHome home;
    Recorder recorder(home.Path("data") + QStringLiteral("/recorder"));
    QVERIFY(recorder.Install());
    QVERIFY(home.WriteSettings(
        "[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\nHide=Yes\nShrink=No\n"
        "[Pages]\nCount=2\n[Programs]\nSpeedButton2=" +
        ShellWord(recorder.Path()).toUtf8() +
        "\n[Parameters]\nSpeedButton2= from-the-tray\n[MRU]\nCount=1\n1=Recorder  |2\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QTest::qWait(1500); // the window manager's placing is over

    // The gauge hides the bar into the tray; the icon registers with the host, menu and all.
    QVERIFY(ClickAt(bar, GaugeCentre));
    QString item;
    QVERIFY2(PollUntil([&] { return !BarShown(bar) && !(item = RegisteredItem()).isEmpty(); }),
             qPrintable(bar.Diagnostics()));
    QString menuProperty;
    const QString menuPath = MenuPath(item, &menuProperty);
    QVERIFY2(!menuPath.isEmpty() && menuPath != QLatin1String("/NO_DBUSMENU"),
             qPrintable(menuProperty));
    // The tray menu as the bar's own popup shows it: the switch, then the recently launched.
    const QStringList launched{QStringLiteral("Switch to _Setup Options >"),
                               QStringLiteral("Recorder  |2")};
    QCOMPARE(Labels(ShownEntries(item, menuPath)), launched);

    // A right click on the icon in the panel: the host asks for the menu and shows it. A busy
    // panel draws the icon a while after it registered: clicked before, the click finds nothing.
    QVERIFY(PollUntil([&] {
        const QImage now = Grab(panel.Window());
        return !now.isNull() && now.copy(IconArea(now)) != emptyPanel.copy(IconArea(emptyPanel));
    }));
    MenuTraffic traffic;
    QVERIFY(traffic.Start());
    QVERIFY2(RightClickIcon(panel.Window()), qPrintable(panel.Window()));
    QVERIFY2(PollUntil([&] { return traffic.Seen("member=AboutToShow"); }),
             qPrintable(traffic.Text() + panel.Output()));
    QTest::qWait(500); // drawn
    SaveScreenshot(QStringLiteral("tray-sni-menu"));

    // The recently launched entry, chosen in the host's menu, starts its program as from the bar.
    QVERIFY(Keys({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")}));
    QVERIFY2(recorder.WaitUntilRan(), qPrintable(traffic.Text() + bar.Diagnostics()));
    QVERIFY2(PollUntil([&] { return traffic.Seen("member=Event"); }), qPrintable(traffic.Text()));
    QCOMPARE(recorder.Record().mid(1), QStringList{QStringLiteral("from-the-tray")});
    // The switch, clicked as a host clicks it: the next opening shows the setup options.
    QCOMPARE(Labels(ShownEntries(item, menuPath)), launched);
    ClickEntry(item, menuPath, EntryOf(ShownEntries(item, menuPath), launched.first()).id);
    const QString autostart = QStringLiteral("Start with the _Desktop");
    QList<MenuEntry> setup;
    QVERIFY2(
        PollUntil([&] { return EntryOf(setup = ShownEntries(item, menuPath), autostart).id >= 0; }),
        qPrintable(Labels(setup).join(QLatin1Char('\n'))));
    QVERIFY(Labels(setup).contains(QStringLiteral("Switch to _Last Launched menu >")));
    QVERIFY(Labels(setup).contains(QStringLiteral("Always Stay on _Top")));
    QCOMPARE(IniValue(home.SettingsFile(), QStringLiteral("Menu"), QStringLiteral("Show")),
             QStringLiteral("Setup"));

    // The tick of an entry read anew at each opening: the autostart entry, ticked from the menu,
    // then removed outside the bar, is shown unticked at the host's next opening.
    QVERIFY(!EntryOf(setup, autostart).ticked);
    ClickEntry(item, menuPath, EntryOf(setup, autostart).id);
    QVERIFY(PollUntil([&] { return EntryOf(ShownEntries(item, menuPath), autostart).ticked; }));
    QDir entries(home.Path("config") + QStringLiteral("/autostart"));
    QCOMPARE(entries.entryList(QDir::Files).size(), 1);
    QVERIFY(entries.remove(entries.entryList(QDir::Files).first()));
    QVERIFY(EntryOf(ShownEntries(item, menuPath), autostart).ticked);
    traffic.Forget();
    QVERIFY(RightClickIcon(panel.Window()));
    QVERIFY2(PollUntil([&] { return traffic.Seen("member=AboutToShow"); }),
             qPrintable(traffic.Text()));
    QVERIFY2(PollUntil([&] { return !EntryOf(ShownEntries(item, menuPath), autostart).ticked; }),
             qPrintable(traffic.Text()));
    SaveScreenshot(QStringLiteral("tray-sni-setup-menu"));
    QVERIFY(Keys({QStringLiteral("Escape")}));
}

QTEST_MAIN(TestTrayMenu)
#include "tst_traymenu.moc"
