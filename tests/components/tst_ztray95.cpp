// The notification-area icon against a fake area: what reaches the area, mouse messages to
// events with the click delay and the exit poll, the animation, State and its guard,
// minimising into the tray, and the shared timer. Time is a clock the tests move.

#include "FakePlatform.h"
#include "components/ZtTray95.h"

#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using Tray = TZtTrayIcon95;

namespace {

QIcon Solid(const char *color) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(QColor(QLatin1String(color)));
    return QIcon(QPixmap::fromImage(image));
}

// The colour name of a solid icon, "none" for no picture.
QString ColorOf(const QIcon &icon) {
    if (icon.isNull())
        return QStringLiteral("none");
    const QColor c = icon.pixmap(16, 16).toImage().pixelColor(8, 8);
    for (const char *name : {"red", "green", "blue", "yellow", "gray"})
        if (c == QColor(QLatin1String(name)))
            return QLatin1String(name);
    return c.name();
}

// A window owning a tray icon on a fake area, with a clock and a pointer the test moves.
struct Rig {
    Rig() {
        tray->TimerManager().Now = [this] { return clock; };
        tray->CursorPos = [this] { return pointer; };
        tray->PopupHandler = [this](QMenu *menu, const QPoint &at) {
            log << QStringLiteral("popup:%1@%2,%3").arg(menu->title()).arg(at.x()).arg(at.y());
        };
    }
    // Moves the clock on and lets the shared timer tick once.
    void Advance(int ms) {
        clock += ms;
        tray->TimerManager().Tick();
    }
    QWidget form;
    FakeNotificationArea area;
    std::unique_ptr<Tray> tray = std::make_unique<Tray>(&form, &area);
    qint64 clock = 1000000;
    QPoint pointer;
    QStringList log;
};

} // namespace

class TstZtTray95 : public QObject {
    Q_OBJECT
private slots:
    void ownerMustBeAWindow() {
        QWidget form;
        QWidget child(&form);
        QObject plain;
        FakeNotificationArea area;
        for (QObject *owner :
             {static_cast<QObject *>(&child), &plain, static_cast<QObject *>(nullptr)}) {
            try {
                Tray tray(owner, &area);
                QFAIL("a tray icon owned by something other than a window was made");
            } catch (const EInvalidOperation &error) {
                QCOMPARE(QString::fromLatin1(error.what()),
                         QStringLiteral("TrayIcons must be owned by a Form !"));
            }
        }
        Tray tray(&form, &area);
        QVERIFY(area.OnMouse);
    }

    // Steps: show, hide, hint:<text>, showhint:0|1, icon, state:<n>, endsession:0|1, free.
    void callsToTheArea_data() {
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<bool>("active");
        auto L = [](const char *text) {
            return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
        };
        QTest::newRow("show twice adds once")
            << false << L("hint:a show show") << L("add:a") << true;
        QTest::newRow("hide when inactive does nothing") << false << L("hide") << L("") << false;
        QTest::newRow("show, hide") << false << L("show hide hide") << L("add: delete") << false;
        QTest::newRow("same hint sends nothing")
            << false << L("show hint:a hint:a") << L("add: modify:a") << true;
        QTest::newRow("tip off and on") << false << L("hint:a show showhint:0 showhint:1")
                                        << L("add:a modify: modify:a") << true;
        QTest::newRow("hint while the tip is off keeps it empty")
            << false << L("showhint:0 show hint:b") << L("add:") << true;
        QTest::newRow("inactive changes send nothing")
            << false << L("hint:a icon state:1") << L("") << false;
        QTest::newRow("picture change while active")
            << false << L("show icon") << L("add: modify:") << true;
        QTest::newRow("refused add stays inactive")
            << true << L("show hint:a hide") << L("") << false;
        QTest::newRow("end of session removes the icon")
            << false << L("show endsession:1") << L("add: delete") << false;
        QTest::newRow("an ending called off keeps it")
            << false << L("show endsession:0") << L("add:") << true;
        QTest::newRow("freeing removes the icon")
            << false << L("show free") << L("add: delete") << false;
    }
    void callsToTheArea() {
        QFETCH(bool, refused);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, calls);
        QFETCH(bool, active);
        Rig rig;
        rig.area.refuseIcon = refused;
        for (const QString &step : steps) {
            const QString arg = step.section(u':', 1);
            if (step == "show")
                rig.tray->Show();
            else if (step == "hide")
                rig.tray->setActive(false);
            else if (step.startsWith("hint:"))
                rig.tray->setHint(arg);
            else if (step.startsWith("showhint:"))
                rig.tray->setShowHint(arg == "1");
            else if (step == "icon")
                rig.tray->setIcon(Solid("red"));
            else if (step.startsWith("state:"))
                rig.tray->setState(Tray::TZtTrayIconState(arg.toInt()));
            else if (step.startsWith("endsession:"))
                rig.tray->MsgWindow().EndSession(arg == "1");
            else if (step == "free")
                rig.tray.reset();
        }
        QCOMPARE(rig.area.calls, calls);
        if (rig.tray)
            QCOMPARE(rig.tray->Active(), active);
        else
            QVERIFY(!rig.area.OnMouse);
    }

    void tip_data() {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("showHint");
        QTest::addColumn<QString>("tip");
        const QString hundred = QString(100, u'x');
        QTest::newRow("short") << "Velmora main" << true << "Velmora main";
        QTest::newRow("cut at 63") << hundred << true << QString(63, u'x');
        QTest::newRow("exactly 63") << QString(63, u'y') << true << QString(63, u'y');
        QTest::newRow("hidden") << hundred << false << "";
        // A character outside the basic plane straddling the cut goes whole.
        QTest::newRow("no half character")
            << QString(62, u'x') + QString::fromUtf8("\U0001F600z") << true << QString(62, u'x');
    }
    void tip() {
        QFETCH(QString, hint);
        QFETCH(bool, showHint);
        QFETCH(QString, tip);
        Rig rig;
        rig.tray->Show();
        rig.tray->setShowHint(showHint);
        rig.tray->setHint(hint);
        QCOMPARE(rig.tray->Tip(), tip);
        QCOMPARE(rig.area.calls.last(), "modify:" + tip);
    }

    // Steps: L/l left down/up, D left double, R/r right down/up, +<ms> moves the clock on.
    void clicks_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("dblHandler");
        QTest::addColumn<bool>("autoPopup");
        QTest::addColumn<bool>("menu");
        QTest::addColumn<QString>("events");
        QTest::newRow("press clicks at once") << "L l" << false << false << false << "click";
        QTest::newRow("each press clicks") << "L l L l" << false << false << false << "click,click";
        QTest::newRow("double without its handler")
            << "L l D l" << false << false << false << "click";
        QTest::newRow("click waits 400 ms")
            << "L l +399 +1 +400" << true << false << false << "+399,+1,click,+400";
        QTest::newRow("double click only")
            << "L l D l +400" << true << false << false << "dbl,+400";
        QTest::newRow("right click clicks") << "R r" << false << false << false << "click";
        QTest::newRow("right click waits too")
            << "R r +400" << true << false << false << "+400,click";
        QTest::newRow("right click, menu without auto popup")
            << "R" << false << false << true << "click";
        QTest::newRow("right click, auto popup without menu")
            << "R" << false << true << false << "click";
        QTest::newRow("right click pops the menu up")
            << "R r +400" << true << true << true << "popup:tray@40,30,+400";
        QTest::newRow("left click beside the menu") << "L" << false << true << true << "click";
    }
    void clicks() {
        QFETCH(QString, steps);
        QFETCH(bool, dblHandler);
        QFETCH(bool, autoPopup);
        QFETCH(bool, menu);
        QFETCH(QString, events);
        Rig rig;
        QMenu popup(QStringLiteral("tray"));
        rig.pointer = QPoint(40, 30);
        rig.tray->setAutoPopup(autoPopup);
        if (menu)
            rig.tray->setPopupMenu(&popup);
        rig.tray->OnClick = [&](QObject *sender) {
            QCOMPARE(sender, rig.tray.get());
            rig.log << "click";
        };
        if (dblHandler)
            rig.tray->OnDblClick = [&](QObject *) { rig.log << "dbl"; };
        for (const QString &step : steps.split(u' ')) {
            if (step.startsWith(u'+')) {
                rig.log << step;
                rig.Advance(step.mid(1).toInt());
                continue;
            }
            static const QHash<QString, TrayMouse> messages = {{"L", TrayMouse::LeftDown},
                                                               {"l", TrayMouse::LeftUp},
                                                               {"D", TrayMouse::LeftDouble},
                                                               {"R", TrayMouse::RightDown},
                                                               {"r", TrayMouse::RightUp}};
            rig.area.OnMouse(messages.value(step));
        }
        QCOMPARE(rig.log.join(u','), events);
    }

    void popupDefaultShowsTheMenu() {
        QWidget form;
        FakeNotificationArea area;
        Tray tray(&form, &area);
        QMenu popup;
        popup.addAction(QStringLiteral("Item"));
        tray.setAutoPopup(true);
        tray.setPopupMenu(&popup);
        area.OnMouse(TrayMouse::RightDown);
        QVERIFY(popup.isVisible());
        popup.hide();
    }

    // Steps: m<x>,<y> the pointer moves there and the area reports it; p<x>,<y> the pointer
    // moves without a report; +<ms> moves the clock on.
    void pointerEnterAndExit_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("events");
        QTest::addColumn<bool>("exitThrows");
        QTest::newRow("enter once") << "m10,10 m11,10 m11,11"
                                    << "enter10,10,move11,10,move11,11" << false;
        QTest::newRow("2 px is still over the icon") << "m10,10 p12,12 +70 +70"
                                                     << "enter10,10,+70,+70" << false;
        QTest::newRow("3 px across has left") << "m10,10 p13,10 +69 +1 +70"
                                              << "enter10,10,+69,+1,exit13,10,+70" << false;
        QTest::newRow("3 px down has left") << "m10,10 p8,7 +70"
                                            << "enter10,10,+70,exit8,7" << false;
        QTest::newRow("moves keep it over the icon")
            << "m10,10 m20,20 +70 m30,30 +70"
            << "enter10,10,move20,20,+70,move30,30,+70" << false;
        QTest::newRow("enters again") << "m10,10 p50,50 +70 m50,50"
                                      << "enter10,10,+70,exit50,50,enter50,50" << false;
        QTest::newRow("a failing exit handler is told once")
            << "m10,10 p50,50 +70 +70"
            << "enter10,10,+70,exit50,50,+70" << true;
    }
    void pointerEnterAndExit() {
        QFETCH(QString, steps);
        QFETCH(QString, events);
        QFETCH(bool, exitThrows);
        Rig rig;
        auto record = [&](const char *what) {
            return [&rig, what](QObject *, Tray::TShiftState, int x, int y) {
                rig.log << QStringLiteral("%1%2,%3").arg(QLatin1String(what)).arg(x).arg(y);
            };
        };
        rig.tray->OnMouseEnter = record("enter");
        rig.tray->OnMouseExit = [&, exit = record("exit")](QObject *sender, Tray::TShiftState shift,
                                                           int x, int y) {
            exit(sender, shift, x, y);
            if (exitThrows)
                throw std::runtime_error("handler failed");
        };
        rig.tray->OnMouseMove = record("move");
        for (const QString &step : steps.split(u' ')) {
            if (step.startsWith(u'+')) {
                rig.log << step;
                rig.Advance(step.mid(1).toInt());
                continue;
            }
            const QStringList xy = step.mid(1).split(u',');
            rig.pointer = QPoint(xy[0].toInt(), xy[1].toInt());
            if (step.startsWith(u'm'))
                rig.area.OnMouse(TrayMouse::Move);
        }
        QCOMPARE(rig.log.join(u','), events);
    }

    void animation() {
        QTemporaryDir dir;
        QStringList files;
        for (const char *color : {"red", "green", "blue"}) {
            files << dir.filePath(QLatin1String(color) + ".png");
            QImage image(16, 16, QImage::Format_ARGB32);
            image.fill(QColor(QLatin1String(color)));
            QVERIFY(image.save(files.last()));
        }
        Rig rig;
        Tray &tray = *rig.tray;
        tray.setIcon(Solid("yellow"));
        tray.Animation()->setIcons(files);
        // What the area shows when each step begins, then after each tick.
        tray.OnAnimation = [&](QObject *) { rig.log << "anim:" + ColorOf(rig.area.icon); };
        auto tick = [&](int ms) {
            rig.Advance(ms);
            rig.log << ColorOf(rig.area.icon);
        };
        tray.Show();
        tray.setState(Tray::tsAnimated);
        tick(999);
        tick(1);
        tick(1000);
        tick(1000);
        QCOMPARE(rig.log.join(u' '), "anim:red red anim:red green anim:green blue anim:blue red");

        // A new interval starts again at the first frame.
        rig.log.clear();
        tick(1000);
        tray.Animation()->setInterval(500);
        tick(499);
        tick(1);
        QCOMPARE(rig.log.join(u' '), "anim:red green anim:green red anim:red green");

        // Leaving the animated state stops it; the shared timer stands still.
        tray.setState(Tray::tsEnabled);
        QCOMPARE(ColorOf(rig.area.icon), "yellow");
        QVERIFY(!tray.TimerManager().Running());
    }

    void animationFrames_data() {
        QTest::addColumn<int>("options");
        QTest::addColumn<QStringList>("icons");
        QTest::addColumn<bool>("changed");
        using A = TZtTrayIconAnimation;
        QTest::newRow("program icon") << int(A::aoIconsInExe) << QStringList{"ICON_2.png"} << true;
        QTest::newRow("no frames keeps the picture")
            << int(A::aoIconsAreFiles) << QStringList{} << false;
    }
    void animationFrames() {
        QFETCH(int, options);
        QFETCH(QStringList, icons);
        QFETCH(bool, changed);
        Rig rig;
        rig.tray->setIcon(Solid("gray"));
        rig.tray->Animation()->setOptions(
            TZtTrayIconAnimation::TZtTrayIconAnimationOptions(options));
        rig.tray->Animation()->setIcons(icons);
        rig.tray->Show();
        rig.tray->setState(Tray::tsAnimated);
        QCOMPARE(ColorOf(rig.area.icon) != "gray", changed);
        QVERIFY(!rig.area.icon.isNull());
    }

    void stateChanges() {
        Rig rig;
        Tray &tray = *rig.tray;
        tray.setIcon(Solid("green"));
        tray.setDisabledIcon(Solid("gray"));
        QStringList seen;
        tray.OnStateChanging = [&](QObject *, Tray::TZtTrayIconState &next) {
            seen << QString::number(next);
        };

        // Inactive: stored without asking.
        tray.setState(Tray::tsDisabled);
        QCOMPARE(tray.State(), Tray::tsDisabled);
        tray.Show();
        QCOMPARE(ColorOf(rig.area.icon), "gray");
        QVERIFY(seen.isEmpty());

        // The handler may turn the change back; then nothing happens.
        tray.OnStateChanging = [&](QObject *, Tray::TZtTrayIconState &next) {
            seen << QString::number(next);
            next = Tray::tsDisabled;
        };
        const int calls = rig.area.calls.size();
        tray.setState(Tray::tsEnabled);
        QCOMPARE(seen, QStringList{"0"});
        QCOMPARE(tray.State(), Tray::tsDisabled);
        QCOMPARE(rig.area.calls.size(), calls);

        // Nor may it set the state itself, not even after catching the refusal.
        QStringList errors;
        tray.OnStateChanging = [&](QObject *, Tray::TZtTrayIconState &) {
            for (int attempt = 0; attempt < 2; ++attempt) {
                try {
                    tray.setState(Tray::tsAnimated);
                } catch (const EInvalidOperation &error) {
                    errors << QString::fromLatin1(error.what());
                }
            }
        };
        tray.setState(Tray::tsEnabled);
        QCOMPARE(errors,
                 QStringList(
                     2, "You cannot modify the state property in the OnStateChanging event !!!"));
        QCOMPARE(tray.State(), Tray::tsEnabled);
        QCOMPARE(ColorOf(rig.area.icon), "green");

        // A refusal escaping the handler leaves the state as it was, and later changes work.
        tray.OnStateChanging = [&](QObject *, Tray::TZtTrayIconState &) {
            tray.setState(Tray::tsAnimated);
        };
        QVERIFY_THROWS_EXCEPTION(EInvalidOperation, tray.setState(Tray::tsDisabled));
        QCOMPARE(tray.State(), Tray::tsEnabled);
        tray.OnStateChanging = nullptr;
        tray.setState(Tray::tsDisabled);
        QCOMPARE(ColorOf(rig.area.icon), "gray");
    }

    void minimiseIntoTheTray_data() {
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("toTray");
        QTest::addColumn<bool>("watch");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<QString>("events");
        QTest::newRow("into the tray") << true << true << true << true << "minimize,restore";
        QTest::newRow("option off") << true << false << true << false << "minimize,restore";
        QTest::newRow("no icon to hide into")
            << false << true << true << false << "minimize,restore";
        QTest::newRow("owner handles its window") << true << true << false << false << "";
    }
    void minimiseIntoTheTray() {
        QFETCH(bool, active);
        QFETCH(bool, toTray);
        QFETCH(bool, watch);
        QFETCH(bool, hidden);
        QFETCH(QString, events);
        Rig rig;
        Tray &tray = *rig.tray;
        tray.setOptions(toTray ? Tray::toMinimizeToTray : Tray::TZtTrayIconOptions());
        tray.WatchOwnerWindow(watch);
        tray.setActive(active);
        tray.OnAppMinimize = [&](QObject *) { rig.log << "minimize"; };
        tray.OnAppRestore = [&](QObject *) { rig.log << "restore"; };
        rig.form.show();
        rig.form.setWindowState(Qt::WindowMinimized);
        QCoreApplication::processEvents();
        QCOMPARE(rig.form.isVisible(), !hidden);
        rig.form.setWindowState(Qt::WindowNoState);
        QCoreApplication::processEvents();
        QVERIFY(rig.form.isVisible());
        QCOMPARE(rig.log.join(u','), events);
    }

    void sharedTimer() {
        TZtTimerManager timers;
        qint64 now = 0;
        timers.Now = [&] { return now; };
        QStringList fired;
        auto log = [&](const char *name) {
            return [&fired, name](TZtTimerItem *) { fired << name; };
        };
        TZtTimerItem *slow = timers.AddTimer(true, 300, log("slow"));
        QVERIFY(!timers.Running()); // the manager starts switched off
        timers.setEnabled(true);
        QCOMPARE(timers.Period(), 300);
        TZtTimerItem *fast = timers.AddTimer(false, 100, log("fast"));
        TZtTimerItem *same = timers.AddTimer(false, 100, log("same"));
        QCOMPARE(timers.Period(), 300);
        now = 200;
        fast->setEnabled(true); // restarts the slow one's count too
        same->setEnabled(true);
        QCOMPARE(timers.Period(), 100);
        for (int step = 0; step < 3; ++step) {
            now += 100;
            timers.Tick();
            fired << "|";
        }
        QCOMPARE(fired.join(u' '), "fast same | fast same | slow fast same |");
        fast->setInterval(50);
        QCOMPARE(timers.Period(), 50);
        fast->setEnabled(false);
        same->setEnabled(false);
        QCOMPARE(timers.Period(), 300);
        slow->setEnabled(false);
        QVERIFY(!timers.Running());
        slow->setEnabled(true);
        QVERIFY(timers.Running());
        timers.setEnabled(false);
        QVERIFY(!timers.Running());
    }

    // All of the icon's timed work runs on its one timer, at the shortest interval needed.
    void trayUsesOneTimer() {
        Rig rig;
        Tray &tray = *rig.tray;
        tray.OnDblClick = [](QObject *) {};
        tray.OnMouseEnter = [](QObject *, Tray::TShiftState, int, int) {};
        QVERIFY(!tray.TimerManager().Running());
        rig.area.OnMouse(TrayMouse::LeftDown);
        QCOMPARE(tray.TimerManager().Period(), 400);
        rig.area.OnMouse(TrayMouse::Move);
        QCOMPARE(tray.TimerManager().Period(), 70);
        rig.pointer = QPoint(100, 100);
        rig.Advance(70);
        QCOMPARE(tray.TimerManager().Period(), 400);
        rig.Advance(400);
        QVERIFY(!tray.TimerManager().Running());
    }
};

QTEST_MAIN(TstZtTray95)
#include "tst_ztray95.moc"
