// The real bar with a real notification area (trayer, an XEmbed tray): the gauge hides the
// bar into the tray and a click on the docked icon brings it back; its right button opens the
// menu; a launch with "Hide on Launch" hides the bar until the program ends; the tray going
// away leaves the bar shrunk on the screen. And stay on top, kept across a restart.
// Screenshots of each presentation go into the build directory.

#include "BarDriver.h"

#include <QElapsedTimer>
#include <QStyleHints>
#include <QtTest>

using namespace e2e;

namespace {
const QPoint GaugeCentre(22, 9);

// A notification area on the test display, for as long as it lives.
class TrayHost {
public:
    bool Start() {
                process_.start(QStringLiteral("trayer"),
                       {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
                        QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                        QStringLiteral("--height"), QStringLiteral("24"), QStringLiteral("--SetDockType"),
                        QStringLiteral("true")});
        if (!process_.waitForStarted())
            return false;
        // Ready once its panel, which owns the notification area of the screen, is up.
        return PollUntil([] {
            return !Tool(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--classname"), QStringLiteral("^panel$")})
                        .trimmed().isEmpty();
        });
    }
    void Stop() {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }
    ~TrayHost() { Stop(); }

private:
    QProcess process_;
};

// The bar's icon docked in the tray: a small visible window of the bar's named after it.
QString DockedIcon(const Bar &bar) {
    // xdotool's name search does not anchor on the icon's name, so compare it here.
    for (const QString &window : FindWindows(bar.Pid(), QStringLiteral(".*")))
        if (WindowTitle(window) == QLatin1String("orvane") && PlaceOf(window).client.width() <= 64)
            return window;
    return QString();
}

bool BarShown(const Bar &bar) {
    return !FindWindows(bar.Pid(), QStringLiteral("^Velmora .*Page [0-9]+ of [0-9]+")).isEmpty();
}

bool ClickWindow(const QString &window, int button = 1) {
    const QPoint at = PlaceOf(window).client.center();
    return Xdo({QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("mousemove"),
                QStringLiteral("--sync"), QString::number(at.x()), QString::number(at.y()),
                QStringLiteral("click"), QString::number(button)});
}
} // namespace

class TestTray : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh"); }
    void hideIntoTheTrayAndBack();
    void stayOnTopAcrossRestart();
    void taskbarButtonOnlyWhileExpanded();
    void restoredBarStaysRestored();
    void lockedGaugeLocation();
    void hiddenBarEndsOnSigterm();
};

void TestTray::hideIntoTheTrayAndBack() {
    if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty())
        QSKIP("trayer is not installed (scripts/install-deps.sh installs it)");
    TrayHost tray;
    QVERIFY2(tray.Start(), "trayer did not start");
    BarHome home;
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\nHide=Yes\nShrink=No\n"
                               "[Pages]\nCount=2\n[Programs]\nSpeedButton1=" + sleep.toUtf8() +
                               "\n[Parameters]\nSpeedButton1= 1\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QTest::qWait(1500); // the window manager's placing is over

    // The gauge hides the bar; only the icon in the tray is left.
    QVERIFY(ClickAt(bar, GaugeCentre));
    QVERIFY2(PollUntil([&] { return !BarShown(bar) && !DockedIcon(bar).isEmpty(); }),
             qPrintable(QStringLiteral("shown %1, icon %2\n").arg(BarShown(bar)).arg(DockedIcon(bar)) +
                        QString::fromLocal8Bit(Tool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})) +
                        bar.Diagnostics()));
    SaveScreenshot(QStringLiteral("tray-hidden"));

    // The icon's menu on the right button.
    QVERIFY(ClickWindow(DockedIcon(bar), 3));
    QVERIFY2(PollUntil([&] { return !PopupMenuWindow(bar.Pid()).isEmpty(); }), qPrintable(bar.Diagnostics()));
    SaveScreenshot(QStringLiteral("tray-menu"));
    QVERIFY(ChooseInMenu(bar, {QStringLiteral("Escape")}));

    // A click on the icon brings the bar back and takes the icon away.
    QVERIFY(ClickWindow(DockedIcon(bar)));
    QVERIFY2(PollUntil([&] { return BarShown(bar) && DockedIcon(bar).isEmpty(); }), qPrintable(bar.Diagnostics()));

    // Hide on launch: hidden while the program runs, back as soon as it has ended.
    QTest::qWait(300);
    QVERIFY(ClickAt(bar, ButtonCentre(1)));
    QVERIFY2(PollUntil([&] { return !BarShown(bar); }), qPrintable(bar.Diagnostics()));
    QElapsedTimer hidden;
    hidden.start();
    QVERIFY2(PollUntil([&] { return BarShown(bar); }), qPrintable(bar.Diagnostics()));
    QVERIFY2(hidden.elapsed() > 500, "the bar came back before the program ended");
    QVERIFY(PollUntil([&] { return DockedIcon(bar).isEmpty(); }));

    // The tray goes away while the bar is hidden: the bar comes back, shrunk to its gauge.
    QTest::qWait(300);
    QVERIFY(ClickAt(bar, GaugeCentre));
    QVERIFY2(PollUntil([&] { return !BarShown(bar); }), qPrintable(bar.Diagnostics()));
    tray.Stop();
    QVERIFY2(PollUntil([&] { return BarShown(bar) && PlaceOf(bar.Window()).client.width() == 44; }),
             qPrintable(bar.Diagnostics()));
    SaveScreenshot(QStringLiteral("tray-gone-shrunk"));
    QCOMPARE(bar.Terminate(), 0);
    // The expanded bar's place is kept.
    QFile file(home.SettingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray settings = file.readAll();
    QVERIFY2(settings.contains("Top=100") && settings.contains("Left=50"), settings.constData());
}

void TestTray::stayOnTopAcrossRestart() {
    BarHome home;
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n[Pages]\nCount=2\n"));
    auto above = [](const QString &window) {
        return Tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_STATE")})
            .contains("_NET_WM_STATE_ABOVE");
    };
    {
        Bar bar(home, {});
        QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
        QVERIFY(!above(bar.Window()));
        QVERIFY2(OpenMenuAt(bar, GaugeCentre), qPrintable(bar.Diagnostics()));
        QVERIFY(ChooseInMenu(bar, {QStringLiteral("t")}));
        QVERIFY2(PollUntil([&] { return above(bar.Window()); }), qPrintable(bar.Diagnostics()));
        SaveScreenshot(QStringLiteral("stay-on-top"));
        QCOMPARE(bar.Terminate(), 0);
    }
    Bar again(home, {});
    QVERIFY2(again.WaitForWindow(), qPrintable(again.Diagnostics()));
    QVERIFY2(PollUntil([&] { return above(again.Window()); }), qPrintable(again.Diagnostics()));
}

// The shrunk gauge has no taskbar button, the expanded bar has one: by mouse and by key, twice
// over (the window manager forgets a window's state whenever it is unmapped).
void TestTray::taskbarButtonOnlyWhileExpanded() {
    BarHome home;
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n[Pages]\nCount=2\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QTest::qWait(1000); // the window manager's placing is over
    auto state = [&] {
        return Tool(QStringLiteral("xprop"), {QStringLiteral("-id"), bar.Window(), QStringLiteral("_NET_WM_STATE")});
    };
    auto shrunk = [&] { return PlaceOf(bar.Window()).client.width() == 44; };
    for (int round = 0; round < 2; ++round) {
        if (round == 0)
            QVERIFY(ClickAt(bar, GaugeCentre));
        else
            QVERIFY(FocusOn(bar.Window()) && Keys({QStringLiteral("F3")}));
        QVERIFY2(PollUntil([&] { return shrunk() && state().contains("_NET_WM_STATE_SKIP_TASKBAR"); }),
                 qPrintable(QString::fromLatin1(state()) + bar.Diagnostics()));
        // A click this soon after the last one would be the second half of a double click.
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
        QVERIFY(ClickAt(bar, GaugeCentre));
        QVERIFY2(PollUntil([&] { return !shrunk() && !state().contains("_NET_WM_STATE_SKIP_TASKBAR"); }),
                 qPrintable(QString::fromLatin1(state()) + bar.Diagnostics()));
    }
    QCOMPARE(bar.Terminate(), 0);
}

// A bar started minimised and then restored by the user comes back shown, not minimised again,
// from the tray.
void TestTray::restoredBarStaysRestored() {
    if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty())
        QSKIP("trayer is not installed (scripts/install-deps.sh installs it)");
    TrayHost tray;
    QVERIFY2(tray.Start(), "trayer did not start");
    BarHome home;
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\nUser=tester\nHide=Yes\nShrink=No\n"
                               "[Window]\nState=Min\n[Pages]\nCount=2\n"));
    Bar bar(home, {});
    const QString window = bar.MinimisedWindow();
    QVERIFY2(!window.isEmpty(), qPrintable(bar.Diagnostics()));
    auto wmState = [&] {
        return QString::fromLatin1(Tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("WM_STATE")}));
    };
    QVERIFY2(PollUntil([&] { return wmState().contains(QStringLiteral("state: Iconic")); }), qPrintable(wmState()));
    QTest::qWait(2000); // the bar's start is over
    // The user restores it, as a taskbar does.
    QVERIFY(Xdo({QStringLiteral("windowactivate"), QStringLiteral("--sync"), window}));
    QVERIFY2(PollUntil([&] { return BarShown(bar) && wmState().contains(QStringLiteral("state: Normal")); }),
             qPrintable(wmState()));
    QVERIFY2(PollUntil([&] { return IniValue(home.SettingsFile(), QStringLiteral("Window"), QStringLiteral("State")) == QLatin1String("Norm"); }),
             "the restored state was not saved");
    QTest::qWait(1000); // the window manager has put it in its place

    // Into the tray and back.
    QVERIFY(ClickAt(bar, GaugeCentre));
    QVERIFY2(PollUntil([&] { return !BarShown(bar) && !DockedIcon(bar).isEmpty(); }), qPrintable(bar.Diagnostics()));
    QVERIFY(ClickWindow(DockedIcon(bar)));
    QVERIFY2(PollUntil([&] { return BarShown(bar) && wmState().contains(QStringLiteral("state: Normal")); }),
             qPrintable(wmState() + bar.Diagnostics()));
    QCOMPARE(bar.Terminate(), 0);
    QCOMPARE(IniValue(home.SettingsFile(), QStringLiteral("Window"), QStringLiteral("State")), QStringLiteral("Norm"));
}

// With "Lock Graph Location" the gauge stands exactly at the stored place, and the bar goes back
// to its own: the window manager's frame, which the gauge has not, moves neither of them.
void TestTray::lockedGaugeLocation() {
    BarHome home;
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n"
                               "LockedGraph=Yes\nShrinkX=300\nShrinkY=300\n[Pages]\nCount=2\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QTest::qWait(1000); // the window manager's placing is over
    const QPoint barPlace = PlaceOf(bar.Window()).FramePosition();
    QCOMPARE(barPlace, QPoint(50, 100));
    for (int round = 0; round < 2; ++round) {
        QVERIFY(ClickAt(bar, GaugeCentre));
        QVERIFY2(PollUntil([&] { return PlaceOf(bar.Window()).client == QRect(300, 300, 44, 19); }),
                 qPrintable(QStringLiteral("gauge at %1,%2\n").arg(PlaceOf(bar.Window()).client.x()).arg(PlaceOf(bar.Window()).client.y()) +
                            bar.Diagnostics()));
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
        QVERIFY(ClickAt(bar, GaugeCentre));
        QVERIFY2(PollUntil([&] {
                     const WindowPlace place = PlaceOf(bar.Window());
                     return place.client.width() > 44 && place.FramePosition() == barPlace;
                 }),
                 qPrintable(QStringLiteral("bar at %1,%2\n").arg(PlaceOf(bar.Window()).FramePosition().x()).arg(PlaceOf(bar.Window()).FramePosition().y()) +
                            bar.Diagnostics()));
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    }
    QCOMPARE(bar.Terminate(), 0);
    QCOMPARE(IniValue(home.SettingsFile(), QStringLiteral("Location"), QStringLiteral("Top")), QStringLiteral("100"));
    QCOMPARE(IniValue(home.SettingsFile(), QStringLiteral("Location"), QStringLiteral("Left")), QStringLiteral("50"));
}

// A bar with only its icon left closes and ends like a shown one: nothing stays running unseen.
void TestTray::hiddenBarEndsOnSigterm() {
    if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty())
        QSKIP("trayer is not installed (scripts/install-deps.sh installs it)");
    TrayHost tray;
    QVERIFY2(tray.Start(), "trayer did not start");
    BarHome home;
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\nHide=Yes\nShrink=No\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QVERIFY(ClickAt(bar, GaugeCentre));
    QVERIFY2(PollUntil([&] { return !BarShown(bar) && !DockedIcon(bar).isEmpty(); }),
             qPrintable(bar.Diagnostics()));
    QCOMPARE(bar.Terminate(), 0);
}

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
