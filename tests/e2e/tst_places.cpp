// Where the real bar and its shrunk gauge stand, under a window manager that frames the bar and
// not the gauge: the stored place survives any number of shrink, move and expand cycles, the
// locked gauge place is the window's own at the moment it is ticked, and a move made as soon as
// the bar is on the screen is saved.

#include "BarDriver.h"

#include <QGuiApplication>
#include <QStyleHints>
#include <QtTest>

using namespace e2e;

namespace {
const QPoint GaugeCentre(22, 9);
const QSize GaugeSize(44, 19);

QString Stored(const BarHome &home, const char *key) {
    return IniValue(home.SettingsFile(), QStringLiteral("Location"), QLatin1String(key));
}

QString StoredPoint(const BarHome &home, const char *xKey, const char *yKey) {
    return Stored(home, xKey) + QLatin1Char(',') + Stored(home, yKey);
}

QString Text(const QPoint &p) {
    return QString::number(p.x()) + QLatin1Char(',') + QString::number(p.y());
}

bool Shrunk(const Bar &bar) {
    return PlaceOf(bar.Window()).client.size() == GaugeSize;
}

// A click on the gauge; two clicks in a row must not make a double click.
bool ClickGauge(const Bar &bar) {
    const bool clicked = ClickAt(bar, GaugeCentre);
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    return clicked;
}

// Moves the window as the window manager does for a person; where its frame then stands, which
// is the point asked for or beside it, depending on how the window asked to be placed last.
QPoint MoveWindow(const Bar &bar, const QPoint &to) {
    const QPoint before = PlaceOf(bar.Window()).FramePosition();
    QPoint after = before;
    if (Xdo({QStringLiteral("windowmove"), bar.Window(), QString::number(to.x()),
             QString::number(to.y())}))
        PollUntil([&] {
            after = PlaceOf(bar.Window()).FramePosition();
            return after != before;
        });
    return after;
}
} // namespace

class TestPlaces : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
    }
    void shrinkMoveExpandKeepsThePlace_data();
    void shrinkMoveExpandKeepsThePlace();
    void lockRecordsTheWindowsPlace_data();
    void lockRecordsTheWindowsPlace();
    void changeRightAfterShowingIsSaved_data();
    void changeRightAfterShowingIsSaved();
};

void TestPlaces::shrinkMoveExpandKeepsThePlace_data() {
    QTest::addColumn<QString>("onTop");
    QTest::newRow("framed") << QStringLiteral("No");
    QTest::newRow("on top") << QStringLiteral("Yes");
}

// Shrinking leaves the stored place alone, the shrunk gauge may go anywhere, and expanding puts
// the bar back at its own place; cycle after cycle, and a move of the bar itself is still saved.
void TestPlaces::shrinkMoveExpandKeepsThePlace() {
    QFETCH(QString, onTop);
    BarHome home;
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=" +
                               onTop.toLatin1() + "\n[Pages]\nCount=2\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QPoint place(50, 100);
    QVERIFY(PollUntil([&] { return PlaceOf(bar.Window()).FramePosition() == place; }));

    for (int cycle = 0; cycle < 4; ++cycle) {
        if (cycle == 2) { // the person moves the bar itself: that is its place from now on
            place = MoveWindow(bar, QPoint(120, 200));
            QVERIFY((place - QPoint(120, 200)).manhattanLength() < 40);
            QVERIFY2(PollUntil([&] { return StoredPoint(home, "Left", "Top") == Text(place); }),
                     qPrintable(StoredPoint(home, "Left", "Top")));
        }
        QVERIFY(ClickGauge(bar));
        // The gauge takes the bar's corner.
        QString seen;
        QVERIFY2(
            PollUntil([&] {
                seen = Text(PlaceOf(bar.Window()).client.topLeft());
                return Shrunk(bar) && seen == Text(place);
            }),
            qPrintable(QStringLiteral("cycle %1: the gauge stands at %2").arg(cycle).arg(seen)));
        QVERIFY(MoveWindow(bar, QPoint(300 + 40 * cycle, 400 - 30 * cycle)) != place);
        QVERIFY(ClickGauge(bar));
        QVERIFY2(
            PollUntil([&] {
                const WindowPlace now = PlaceOf(bar.Window());
                seen = Text(now.FramePosition());
                return now.client.width() > GaugeSize.width() && seen == Text(place);
            }),
            qPrintable(QStringLiteral("cycle %1: the bar came back at %2").arg(cycle).arg(seen)));
        QCOMPARE(StoredPoint(home, "Left", "Top"), Text(place));
    }
    if (onTop == QLatin1String("No"))
        SaveScreenshot(QStringLiteral("places-expanded"));
    QCOMPARE(bar.Terminate(), 0);
    QCOMPARE(StoredPoint(home, "Left", "Top"), Text(place));
}

void TestPlaces::lockRecordsTheWindowsPlace_data() {
    QTest::addColumn<bool>("shrinkFirst");
    QTest::addColumn<QPoint>("gaugeMovedTo"); // (-1, -1): not moved
    QTest::newRow("expanded") << false << QPoint(-1, -1);
    QTest::newRow("shrunk") << true << QPoint(-1, -1);
    QTest::newRow("shrunk and moved") << true << QPoint(400, 300);
}

// "Lock Graph Location" records where the window stands at that moment, in the place the gauge
// is later shown at: the next shrinks put the gauge exactly there.
void TestPlaces::lockRecordsTheWindowsPlace() {
    QFETCH(bool, shrinkFirst);
    QFETCH(QPoint, gaugeMovedTo);
    BarHome home;
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n"
                               "LockedGraph=No\n[Pages]\nCount=2\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QVERIFY(PollUntil([&] { return PlaceOf(bar.Window()).FramePosition() == QPoint(50, 100); }));
    if (shrinkFirst) {
        QVERIFY(ClickGauge(bar));
        QVERIFY2(PollUntil([&] { return Shrunk(bar); }), qPrintable(bar.Diagnostics()));
    }
    if (gaugeMovedTo != QPoint(-1, -1))
        QCOMPARE(MoveWindow(bar, gaugeMovedTo), gaugeMovedTo); // the gauge has no frame
    const QPoint locked = PlaceOf(bar.Window()).FramePosition();

    QVERIFY2(OpenMenuAt(bar, GaugeCentre), qPrintable(bar.Diagnostics()));
    QVERIFY(ChooseInMenu(bar, {QStringLiteral("g")}));
    QVERIFY(PollUntil([&] { return Stored(home, "LockedGraph") == QLatin1String("Yes"); }));
    QCOMPARE(StoredPoint(home, "ShrinkX", "ShrinkY"), Text(locked));

    // Expanded, then shrunk twice: the gauge stands at the recorded place each time, and the
    // bar at its own.
    for (int round = 0; round < 2; ++round) {
        if (Shrunk(bar)) {
            QVERIFY(ClickGauge(bar));
            QVERIFY2(PollUntil([&] {
                         return !Shrunk(bar) &&
                                PlaceOf(bar.Window()).FramePosition() == QPoint(50, 100);
                     }),
                     qPrintable(Text(PlaceOf(bar.Window()).FramePosition())));
        }
        QVERIFY(ClickGauge(bar));
        QString seen;
        QVERIFY2(
            PollUntil([&] {
                const WindowPlace now = PlaceOf(bar.Window());
                seen = Text(now.client.topLeft());
                return Shrunk(bar) && seen == Text(locked);
            }),
            qPrintable(
                QStringLiteral("the gauge stands at %1, locked at %2").arg(seen, Text(locked))));
    }
    QCOMPARE(StoredPoint(home, "ShrinkX", "ShrinkY"), Text(locked));
    QCOMPARE(StoredPoint(home, "Left", "Top"), QStringLiteral("50,100"));
}

void TestPlaces::changeRightAfterShowingIsSaved_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("move") << QStringLiteral("move");
    QTest::newRow("minimise") << QStringLiteral("minimise");
}

// The window manager's own placing of the new window is not saved, but what the person does as
// soon as the bar is on the screen is.
void TestPlaces::changeRightAfterShowingIsSaved() {
    QFETCH(QString, change);
    BarHome home;
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n"
                               "[Window]\nState=Norm\n[Pages]\nCount=2\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    if (change == QLatin1String("move")) {
        const QPoint moved = MoveWindow(bar, QPoint(333, 222));
        QVERIFY(moved != QPoint(50, 100));
        QVERIFY2(PollUntil([&] { return StoredPoint(home, "Left", "Top") == Text(moved); }),
                 qPrintable(StoredPoint(home, "Left", "Top") + QStringLiteral(", the bar at ") +
                            Text(moved)));
    } else {
        const QString window = bar.Window();
        QVERIFY(Xdo({QStringLiteral("windowminimize"), window}));
        QVERIFY2(PollUntil([&] {
                     return IniValue(home.SettingsFile(), QStringLiteral("Window"),
                                     QStringLiteral("State")) == QLatin1String("Min");
                 }),
                 "the minimised state was not saved");
        QCOMPARE(StoredPoint(home, "Left", "Top"), QStringLiteral("50,100"));
    }
}

QTEST_MAIN(TestPlaces)
#include "tst_places.moc"
