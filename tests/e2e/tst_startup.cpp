// The real bar on a real display with a window manager: where its window goes and how big it
// is, that a move lands in the settings file, and that SIGTERM closes it the normal way.

#include "BarHarness.h"

#include <QtTest>

using namespace e2e;

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void window_data();
    void window();
    void startupWritesNothing_data();
    void startupWritesNothing();
    void moveIsSaved_data();
    void moveIsSaved();
    void sigtermClosesNormally_data();
    void sigtermClosesNormally();
};

void TestStartup::initTestCase() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
    // The layout below assumes room for 21 buttons per page.
    QVERIFY2(WorkAreaWidth() > 700, "the screen's usable width must exceed 700 pixels");
}

void TestStartup::window_data() {
    QTest::addColumn<QByteArray>("settings"); // empty: a new settings directory
    QTest::addColumn<QSize>("clientSize");
    QTest::addColumn<bool>("framed");
    QTest::addColumn<QPoint>("position"); // of the frame; (-1, -1): wherever the bar puts it

    // A new installation takes the per-page maximum, 21; framed: 44 + 756 + 7 less the frame.
    QTest::newRow("new-install") << QByteArray() << QSize(801, 54) << true << QPoint(-1, -1);
    QTest::newRow("16-on-top")
        << QByteArray("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=Yes\n")
        << QSize(620, 54) << false << QPoint(50, 100);
    QTest::newRow("16-framed")
        << QByteArray("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n")
        << QSize(621, 54) << true << QPoint(50, 100);
    QTest::newRow("21-on-top")
        << QByteArray("[Location]\nTop=300\nLeft=20\nButtonCount=21\nOnTop=Yes\n")
        << QSize(800, 54) << false << QPoint(20, 300);
}

void TestStartup::window() {
    QFETCH(QByteArray, settings);
    QFETCH(QSize, clientSize);
    QFETCH(bool, framed);
    QFETCH(QPoint, position);

    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings(settings));
    Bar bar(home, {});
    bool asked = false;
    QVERIFY2(bar.WaitForWindow(&asked), qPrintable(bar.Diagnostics()));
    if (settings.isEmpty())
        qInfo("new installation question %s", asked ? "asked and answered No" : "not asked");
    QVERIFY2(!asked || settings.isEmpty(), "only a new installation asks");

    // The window manager may still be settling the window: wait for the size the bar asks for.
    WindowPlace place;
    const bool sized = PollUntil([&] {
        place = PlaceOf(bar.Window());
        return place.client.size() == clientSize;
    });
    SaveScreenshot(QStringLiteral("window-%1").arg(QLatin1String(QTest::currentDataTag())));
    QVERIFY2(sized, qPrintable(QStringLiteral("client area %1x%2, expected %3x%4")
                                   .arg(place.client.width()).arg(place.client.height())
                                   .arg(clientSize.width()).arg(clientSize.height())));
    QCOMPARE(place.frameTop > 0, framed);
    if (position != QPoint(-1, -1))
        QCOMPARE(place.FramePosition(), position);
    // "Velmora " + profile (none) + six blanks + date + six blanks + page position.
    const QString title = bar.Title();
    QVERIFY2(QRegularExpression(QStringLiteral("^Velmora {7}\\S.*\\S {6}Page 1 of 20$")).match(title).hasMatch(),
             qPrintable(title));
}

// The window manager's own placing and mapping of the new window is not the user moving or
// restoring it: a bar that is only started leaves its settings file alone, minimised or not.
void TestStartup::startupWritesNothing_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("wmState"); // the window's WM_STATE once started
    QTest::newRow("normal") << QByteArray("[Location]\nTop=100\nLeft=50\nButtonCount=16\nUser=tester\nOnTop=No\n[Window]\nState=Norm\n")
                            << QStringLiteral("Normal");
    QTest::newRow("minimised") << QByteArray("[Location]\nTop=100\nLeft=50\nButtonCount=16\nUser=tester\nOnTop=No\n[Window]\nState=Min\n")
                               << QStringLiteral("Iconic");
    QTest::newRow("minimised, on top") << QByteArray("[Location]\nTop=100\nLeft=50\nButtonCount=16\nUser=tester\nOnTop=Yes\n[Window]\nState=Min\n")
                                       << QStringLiteral("Iconic");
}

void TestStartup::startupWritesNothing() {
    QFETCH(QByteArray, settings);
    QFETCH(QString, wmState);
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings(settings));
    const QString file = home.SettingsFile();
    const QDateTime written = QFileInfo(file).lastModified();
    Bar bar(home, {});
    const QString window = bar.MinimisedWindow();
    QVERIFY2(!window.isEmpty(), qPrintable(bar.Diagnostics()));
    QString state;
    const bool reached = PollUntil([&] {
        state = QString::fromLatin1(Tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("WM_STATE")}));
        return state.contains(QStringLiteral("window state: ") + wmState);
    });
    QVERIFY2(reached, qPrintable(state));
    // Long enough for the window manager to have done everything it does with a new window.
    QTest::qWait(3000);
    QVERIFY2(Tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("WM_STATE")})
                 .contains("window state: " + wmState.toLatin1()), "the state did not last");
    SaveScreenshot(QStringLiteral("startup-%1").arg(QLatin1String(QTest::currentDataTag())).replace(' ', '-').remove(','));
    QCOMPARE(QFileInfo(file).lastModified(), written);
    QFile read(file);
    QVERIFY(read.open(QIODevice::ReadOnly));
    QCOMPARE(read.readAll(), settings);
}

void TestStartup::moveIsSaved_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::newRow("framed") << QByteArray("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n");
    QTest::newRow("on-top") << QByteArray("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=Yes\n");
}

void TestStartup::moveIsSaved() {
    QFETCH(QByteArray, settings);
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings(settings));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    // The bar saves no move while the window manager is still placing the new window.
    QTest::qWait(2500);
    const QPoint start = PlaceOf(bar.Window()).FramePosition();

    Tool(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), bar.Window(),
                                     QStringLiteral("300"), QStringLiteral("250")});
    QPoint moved;
    QVERIFY2(PollUntil([&] {
                 moved = PlaceOf(bar.Window()).FramePosition();
                 return moved != start;
             }),
             "the window did not move");

    // The saved location is where the window's frame now is (Qt's and the old design's
    // top-left corner of the window).
    const QString file = home.SettingsFile();
    const bool saved = PollUntil([&] {
        return IniValue(file, QStringLiteral("Location"), QStringLiteral("Left")) == QString::number(moved.x())
            && IniValue(file, QStringLiteral("Location"), QStringLiteral("Top")) == QString::number(moved.y());
    });
    QVERIFY2(saved, qPrintable(QStringLiteral("window at %1,%2; the file holds Left=%3 Top=%4")
                                   .arg(moved.x()).arg(moved.y())
                                   .arg(IniValue(file, QStringLiteral("Location"), QStringLiteral("Left")),
                                        IniValue(file, QStringLiteral("Location"), QStringLiteral("Top")))));
    QCOMPARE(IniValue(file, QStringLiteral("Window"), QStringLiteral("State")), QStringLiteral("Norm"));
    // The other settings stay as they were.
    QCOMPARE(IniValue(file, QStringLiteral("Location"), QStringLiteral("ButtonCount")), QStringLiteral("16"));
}

void TestStartup::sigtermClosesNormally_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::newRow("plain") << QByteArray("[Location]\nTop=100\nLeft=50\nButtonCount=16\n");
    // A signal must not wait for the exit question nobody can answer.
    QTest::newRow("exit-options") << QByteArray("[Location]\nTop=100\nLeft=50\nButtonCount=16\nCheckExit=Yes\n");
}

void TestStartup::sigtermClosesNormally() {
    QFETCH(QByteArray, settings);
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings(settings));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    const int exitCode = bar.Terminate();
    QVERIFY2(exitCode == 0, qPrintable(bar.Diagnostics()));
    // Closing leaves a settings file that still holds what it held.
    QCOMPARE(IniValue(home.SettingsFile(), QStringLiteral("Location"), QStringLiteral("ButtonCount")),
             QStringLiteral("16"));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
