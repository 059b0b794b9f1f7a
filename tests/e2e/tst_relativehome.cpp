// A bar started with a relative HOME (and a relative XDG_CONFIG_HOME, which is ignored) keeps
// its settings where they were when it started: a launch changes the current directory, and
// the settings written after it still land in the settings file the bar started with.

#include "BarDriver.h"

#include <QtTest>

using namespace e2e;

class TestRelativeHome : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void settingsStayPutAfterLaunch();
};

void TestRelativeHome::initTestCase() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
}

void TestRelativeHome::settingsStayPutAfterLaunch() {
    BarHome home;
    QVERIFY(home.IsValid());
    QDir root(home.Path("start"));
    QVERIFY(root.mkpath(QStringLiteral(".")) && root.mkpath(QStringLiteral("bin")) &&
            root.mkpath(QStringLiteral("work")));
    home.SetEnvironment(QStringLiteral("HOME"), QStringLiteral("rel-home"));
    home.SetEnvironment(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("rel-config"));
    const QString settingsFile = root.filePath(QStringLiteral("rel-home/.config/orvane/OV.INI"));
    QVERIFY(root.mkpath(QStringLiteral("rel-home/.config/orvane")));

    // Button 3 starts its program in another directory, which the bar changes to.
    const Recorder recorder(root.filePath(QStringLiteral("bin/record")));
    QVERIFY(recorder.Install());
    QFile settings(settingsFile);
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n[Pages]\nCount=2\n"
                   "[Programs]\nSpeedButton3=" +
                   recorder.Path().toUtf8() +
                   "\n[Working]\nSpeedButton3=" + root.filePath(QStringLiteral("work")).toUtf8() +
                   "\n[Names]\nSpeedButton3=Recorder\n[Shrink]\nSpeedButton3=No\n");
    settings.close();

    Bar bar(home, {}, root.path());
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    // The bar saves no move while the window manager is still placing the new window.
    QTest::qWait(2500);
    QVERIFY(ClickAt(bar, ButtonCentre(3)));
    QVERIFY2(recorder.WaitUntilRan(),
             qPrintable(QStringLiteral("the program did not run\n") + bar.Diagnostics()));
    QCOMPARE(recorder.Record().value(0),
             QFileInfo(root.filePath(QStringLiteral("work"))).canonicalFilePath());

    // The launch itself is recorded in the recently launched list, after the change of directory.
    QVERIFY2(
        PollUntil([&] {
            return ReadIniSection(settingsFile, QStringLiteral("MRU")).value(QStringLiteral("1")) ==
                   QStringLiteral("Recorder  |3");
        }),
        qPrintable(QStringLiteral("the launch is not in the settings file\n") + bar.Diagnostics()));

    // A move, saved afterwards, lands in the same file.
    const QPoint start = PlaceOf(bar.Window()).FramePosition();
    Tool(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), bar.Window(),
                                     QStringLiteral("300"), QStringLiteral("250")});
    QPoint moved;
    QVERIFY2(PollUntil([&] {
                 moved = PlaceOf(bar.Window()).FramePosition();
                 return moved != start;
             }),
             "the window did not move");
    QVERIFY2(
        PollUntil([&] {
            return IniValue(settingsFile, QStringLiteral("Location"), QStringLiteral("Left")) ==
                   QString::number(moved.x());
        }),
        qPrintable(QStringLiteral("the move is not in the settings file\n") + bar.Diagnostics()));
    SaveScreenshot(QStringLiteral("relativehome-after-launch"));
    QCOMPARE(bar.Terminate(), 0);

    // Nothing was written anywhere else: not beside the launched program, not in the relative
    // configuration directory.
    QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("work/rel-home"))));
    QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("rel-config"))));
    QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("work/rel-config"))));
}

QTEST_GUILESS_MAIN(TestRelativeHome)
#include "tst_relativehome.moc"
