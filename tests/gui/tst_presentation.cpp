// The bar's presentations (expanded, shrunk to the gauge, hidden in the notification area):
// what each trigger does from each presentation with each option, what is written, the watch
// on the program started last, stay on top, and places off every screen.
#include "FakePlatform.h"
#include "app/Icons.h"
#include "pages/BarGeometry.h"

#include <QAction>
#include <QFile>
#include <QFrame>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <memory>

namespace {
QString Value(const FakePlatform &fake, const QString &key) {
    QFile f(fake.IniPath());
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("<none>");
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key.toUtf8() + '='))
            return QString::fromUtf8(line.mid(key.size() + 1)).trimmed();
    return QStringLiteral("<absent>");
}

// The presentation as a user sees it.
QString Presentation(const TForm1 &form) {
    if (form.Shrunk())
        return form.isVisible() ? QStringLiteral("shrunk") : QStringLiteral("shrunk, not shown");
    return form.isVisible() ? QStringLiteral("expanded") : QStringLiteral("hidden");
}

const QString kBar = "[Location]\nTop=300\nLeft=100\nButtonCount=16\n[Pages]\nCount=2\n"
                     "[Programs]\nSpeedButton1=/usr/bin/gedit\n[Names]\nSpeedButton1=Editor\n";
} // namespace

class PresentationTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;
    std::unique_ptr<TForm1> form;

    // Starts the bar with these lines added to its [Location] section.
    void Start(const QString &location = QString()) {
        fake->WriteIni(QString(kBar).replace("[Location]\n", "[Location]\n" + location));
        form = std::make_unique<TForm1>(fake->Get());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void Trigger(const QString &trigger) {
        if (trigger == "gauge click")
            QTest::mouseClick(form->Gauge(), Qt::LeftButton);
        else if (trigger == "tray click")
            fake->tray.OnMouse(TrayMouse::LeftDown);
        else if (trigger == "F3")
            QTest::keyClick(form->KeyBox(), Qt::Key_F3);
        else if (trigger == "arrow")
            QTest::keyClick(form->KeyBox(), Qt::Key_Left);
        else if (trigger == "launch")
            QTest::mouseClick(form->FindButton(1), Qt::LeftButton);
        else if (trigger == "program ends")
            fake->processes.End(fake->processes.running.value(0));
        else
            QFAIL(qPrintable("unknown trigger " + trigger));
        QCoreApplication::processEvents(); // the tray and the watch act after their notification
        QCoreApplication::processEvents();
    }

private slots:
    void init() {
        fake = std::make_unique<FakePlatform>();
        fake->shell.iconCounts = {{"/usr/bin/gedit", 1}};
    }
    void cleanup() {
        form.reset();
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    // Where the compositor places windows itself, it is told the bar's stored place at start-up,
    // the gauge's at the bar's corner on shrinking and the bar's again on expanding, which
    // leave the stored place alone.
    void compositorIsToldThePlaces() {
        fake->compositorPlacesWindows = true;
        Start("Hide=No\nOnTop=No\n");
        QCOMPARE(fake->windowPlacement.asked, QList<QPoint>{QPoint(100, 300)});
        Trigger("gauge click");
        QCOMPARE(Presentation(*form), QStringLiteral("shrunk"));
        QCOMPARE(fake->windowPlacement.asked.value(1), QPoint(100, 300));
        Trigger("gauge click");
        QCOMPARE(Presentation(*form), QStringLiteral("expanded"));
        QCOMPARE(fake->windowPlacement.asked.last(), QPoint(100, 300));
        QCOMPARE(fake->windowPlacement.asked.size(), 3);
        QCOMPARE(Value(*fake, "Left") + "," + Value(*fake, "Top"), QStringLiteral("100,300"));
    }

    // Trigger sequences from the expanded bar: the presentation after each step and the icon.
    void transitions_data() {
        QTest::addColumn<QString>("options"); // the [Location] lines besides the place
        QTest::addColumn<bool>("tray");       // a notification area is there
        QTest::addColumn<QStringList>("triggers");
        QTest::addColumn<QStringList>("presentations");
        QTest::addColumn<QStringList>("trayCalls");
        const QString shrink = "Shrink=Yes\nHide=No\n", hide = "Shrink=No\nHide=Yes\n",
                      neither = "Shrink=No\nHide=No\n";
        QTest::newRow("gauge shrinks and expands")
            << shrink << true << QStringList{"gauge click", "gauge click"}
            << QStringList{"shrunk", "expanded"} << QStringList{"add:Velmora ", "delete"};
        QTest::newRow("F3, then an arrow key expands")
            << neither << true << QStringList{"F3", "arrow"} << QStringList{"shrunk", "expanded"}
            << QStringList{"add:Velmora ", "delete"};
        QTest::newRow("gauge hides, the tray icon brings it back")
            << hide << true << QStringList{"gauge click", "tray click"}
            << QStringList{"hidden", "expanded"} << QStringList{"add:Velmora ", "delete"};
        QTest::newRow("no notification area: the gauge shrinks instead of hiding")
            << hide << false << QStringList{"gauge click", "gauge click"}
            << QStringList{"shrunk", "expanded"} << QStringList{};
        QTest::newRow("launch shrinks, the program's end expands")
            << shrink << true << QStringList{"launch", "program ends"}
            << QStringList{"shrunk", "expanded"} << QStringList{"add:Velmora ", "delete"};
        QTest::newRow("launch hides, the program's end shows")
            << hide << true << QStringList{"launch", "program ends"}
            << QStringList{"hidden", "expanded"} << QStringList{"add:Velmora ", "delete"};
        QTest::newRow("no notification area: launch shrinks instead of hiding, end expands")
            << hide << false << QStringList{"launch", "program ends"}
            << QStringList{"shrunk", "expanded"} << QStringList{};
        QTest::newRow("launch without shrink or hide: nothing, and the end changes nothing")
            << neither << true << QStringList{"launch", "program ends"}
            << QStringList{"expanded", "expanded"} << QStringList{};
        QTest::newRow("a shrink by hand after the program ended elsewhere stays")
            << neither << true << QStringList{"launch", "program ends", "F3"}
            << QStringList{"expanded", "expanded", "shrunk"} << QStringList{"add:Velmora "};
        QTest::newRow("no auto expand: the end leaves the bar shrunk")
            << shrink + "AutoExpand=No\n" << true << QStringList{"launch", "program ends"}
            << QStringList{"shrunk", "shrunk"} << QStringList{"add:Velmora "};
    }
    void transitions() {
        QFETCH(QString, options);
        QFETCH(bool, tray);
        QFETCH(QStringList, triggers);
        QFETCH(QStringList, presentations);
        fake->tray.available = tray;
        QString ini = kBar;
        ini.replace("[Location]\n", "[Location]\n" + options);
        fake->WriteIni(ini);
        form = std::make_unique<TForm1>(fake->Get());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QSize expanded = form->size();
        const QPoint place = form->pos();
        const QByteArray before = Value(*fake, "Top").toUtf8();
        QStringList seen;
        for (const QString &trigger : triggers) {
            Trigger(trigger);
            seen << Presentation(*form);
            if (seen.last() == "shrunk")
                QCOMPARE(form->size(), form->GaugePanel()->size());
            if (seen.last() == "expanded") {
                QCOMPARE(form->size(), expanded);
                // The offscreen platform keeps the frame a window was made with when its flags
                // change, so the frameless shrunk bar shifts its report by that frame; the real
                // desktop's exact place is checked end to end.
                const QMargins frame = form->windowHandle()->frameMargins();
                QVERIFY2((form->pos() - place).manhattanLength() <= frame.left() + frame.top(),
                         qPrintable(QStringLiteral("%1,%2").arg(form->pos().x()).arg(form->pos().y())));
            }
        }
        QCOMPARE(seen, presentations);
        QTEST(fake->tray.calls, "trayCalls");
        QCOMPARE(Value(*fake, "Top").toUtf8(), before); // the bar's own place is not touched
    }

    // Each option item writes its keys at once; shrink and hide on launch exclude each other.
    void options_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("expected"); // key=value after one click
        QTest::newRow("shrink on launch off") << "ShrinkOnLaunch1" << QStringList{"Shrink=No", "Hide=No"};
        QTest::newRow("hide on launch on") << "HideGraph1" << QStringList{"Hide=Yes", "Shrink=No"};
        QTest::newRow("auto expand off") << "AutoExpand1" << QStringList{"AutoExpand=No"};
        QTest::newRow("lock graph location") << "LockGraphLocation1"
                                             << QStringList{"LockedGraph=Yes", "ShrinkX=", "ShrinkY="};
        QTest::newRow("stay on top") << "StayonTop1" << QStringList{"OnTop=Yes"};
    }
    void options() {
        QFETCH(QString, item);
        QFETCH(QStringList, expected);
        Start();
        form->findChild<QAction *>(item)->trigger();
        for (const QString &pair : expected) {
            const QString key = pair.section('=', 0, 0), value = pair.section('=', 1);
            if (value.isEmpty()) // a place: whatever the window's is
                QVERIFY2(Value(*fake, key) != "<absent>", qPrintable(key));
            else
                QCOMPARE(Value(*fake, key), value);
        }
        if (item == "HideGraph1")
            QVERIFY(!form->Items().setup.ShrinkOnLaunch1->isChecked());
        if (item == "LockGraphLocation1") {
            QCOMPARE(Value(*fake, "ShrinkX"), QString::number(form->x()));
            QCOMPARE(Value(*fake, "ShrinkY"), QString::number(form->y()));
        }
    }

    // The locked gauge place is used when shrinking; an unreachable one is brought on screen.
    void lockedGaugePlace_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QPoint>("shown");
        QTest::newRow("on screen") << "ShrinkX=500\nShrinkY=20\n" << QPoint(500, 20);
        QTest::newRow("far off") << "ShrinkX=-100000\nShrinkY=99999\n" << QPoint(0, 768 - 19);
        QTest::newRow("beyond 16 bits") << "ShrinkX=70000\nShrinkY=5\n" << QPoint(1024 - 44, 5);
    }
    void lockedGaugePlace() {
        QFETCH(QString, stored);
        fake->WriteIni(QString(kBar).replace("[Location]\n", "[Location]\nLockedGraph=Yes\n" + stored));
        form = std::make_unique<TForm1>(fake->Get());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QPoint place = form->pos();
        QTest::mouseClick(form->Gauge(), Qt::LeftButton);
        // The gauge has no frame: its place is its client area's.
        QTEST(form->geometry().topLeft(), "shown");
        QTest::mouseClick(form->Gauge(), Qt::LeftButton);
        QCOMPARE(form->pos(), place);
        QCOMPARE(Value(*fake, "Top"), QString("300"));
    }

    // A bar stored off every screen starts where it can be reached, and nothing is written.
    void unreachableBar() {
        const QString stored = QString(kBar).replace("Top=300\nLeft=100", "Top=-100000\nLeft=-100000");
        fake->WriteIni(stored);
        form = std::make_unique<TForm1>(fake->Get());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->pos(), QPoint(0, 0));
        QCOMPARE(Value(*fake, "Top"), QString("-100000"));
    }

    // Stay on top from the shrunk bar: expanded size where the gauge stood, marked expanded,
    // the icon and the watch stay; the next toggle shrinks again.
    void stayOnTopWhileShrunk() {
        Start();
        QTest::mouseClick(form->Gauge(), Qt::LeftButton);
        QCOMPARE(Presentation(*form), QString("shrunk"));
        form->Items().setup.StayonTop1->trigger();
        QCOMPARE(Presentation(*form), QString("expanded"));
        QVERIFY(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(form->TrayIconShown());
        QVERIFY(form->Watching());
        QCOMPARE(Value(*fake, "OnTop"), QString("Yes"));
        QTest::keyClick(form->KeyBox(), Qt::Key_F3);
        QCOMPARE(Presentation(*form), QString("shrunk"));
    }

    // Stored options that are neither "Yes" nor "No" choose no branch: the gauge click does not
    // shrink, stay on top keeps the style.
    void oddStoredValues() {
        Start("Hide=maybe\nOnTop=1\n");
        QTest::mouseClick(form->Gauge(), Qt::LeftButton);
        QCOMPARE(Presentation(*form), QString("expanded"));
        form->Items().setup.StayonTop1->trigger();
        QVERIFY(!form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(Value(*fake, "OnTop"), QString("1"));
    }

    // The watched program's end brings the bar back then and there, not a pass of the event
    // loop later.
    void endOfTheProgramExpandsAtOnce() {
        Start("Shrink=Yes\nHide=No\n");
        Trigger("launch");
        QCOMPARE(Presentation(*form), QString("shrunk"));
        fake->processes.End(fake->processes.running.value(0));
        QCOMPARE(Presentation(*form), QString("expanded"));
        QCOMPARE(form->size(), form->ExpandedSize());
    }

    // The notification area goes away while the bar is hidden in it: the bar comes back, shrunk.
    void notificationAreaGone() {
        Start("Hide=Yes\nShrink=No\n");
        QTest::mouseClick(form->Gauge(), Qt::LeftButton);
        QCOMPARE(Presentation(*form), QString("hidden"));
        fake->tray.available = false;
        form->GaugeTimer();
        QCOMPARE(Presentation(*form), QString("shrunk"));
    }

    // The notification area is there but refuses the icon: hidden, the bar would be out of reach.
    void iconRefused() {
        Start("Hide=Yes\nShrink=No\n");
        fake->tray.refuseIcon = true;
        QTest::mouseClick(form->Gauge(), Qt::LeftButton);
        QCOMPARE(Presentation(*form), QString("shrunk"));
        QTest::mouseClick(form->Gauge(), Qt::LeftButton);
        QCOMPARE(Presentation(*form), QString("expanded"));
        QCOMPARE(Value(*fake, "Hide"), QString("Yes"));
    }
};

QTEST_MAIN(PresentationTest)
#include "tst_presentation.moc"
