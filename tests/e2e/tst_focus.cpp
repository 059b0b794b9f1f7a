// The keyboard after the mouse: whatever a person clicks on the real bar (a tab, the gauge, the
// help or run button, a menu), the keys that follow still select, launch and cancel.

#include "BarDriver.h"

#include <QtTest>

using namespace e2e;

namespace {
// Tab fills easy to tell from the background; the selected tab stays silver.
const QColor Selected(192, 192, 192);
const QColor Unselected(255, 255, 192);
const QPoint GaugeCentre(22, 9);
const QPoint HelpButtonCentre(11, 27);
const QPoint RunButtonCentre(33, 27);
} // namespace

class TestFocus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void keysAfterMouse_data();
    void keysAfterMouse();
    void escapeCancelsMovesAfterMouse();
};

// A bar of three pages with two recorders on page 1, started with the keyboard.
struct FocusBar {
    BarHome home;
    QTemporaryDir files;
    Recorder first{files.filePath(QStringLiteral("first"))};
    Recorder second{files.filePath(QStringLiteral("second"))};
    std::unique_ptr<Bar> bar;
    QList<QPoint> tabs;

    bool Start() {
        if (!home.IsValid() || !files.isValid() || !first.Install() || !second.Install())
            return false;
        if (!home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\nShrink=No\n[Pages]\nCount=3\n"
                                "[Tabs]\nUnselectedColor=12648447\nPageTab1=Tools\nPageTab2=Misc\nPageTab3=More\n"
                                "[Programs]\nSpeedButton1=" + ShellWord(first.Path()).toUtf8() +
                                "\nSpeedButton2=" + ShellWord(second.Path()).toUtf8() +
                                "\n[Icons]\nSpeedButton1=Default\nSpeedButton2=Default\n"
                                "[Names]\nSpeedButton1=First tool\nSpeedButton2=Second tool\n"))
            return false;
        bar = std::make_unique<Bar>(home, QStringList{});
        if (!bar->WaitForWindow() || !FocusOn(bar->Window()))
            return false;
        PollUntil([&] { return (tabs = TabCentres(*bar, {Selected, Unselected})).size() == 3; });
        return tabs.size() == 3;
    }
    QString Diagnostics() const { return bar ? bar->Diagnostics() : QStringLiteral("no bar"); }
};

void TestFocus::initTestCase() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
}

void TestFocus::keysAfterMouse_data() {
    QTest::addColumn<QString>("action");
    for (const char *action : {"tab", "gauge", "help button", "run button", "button menu", "page menu", "empty space"})
        QTest::newRow(action) << QString::fromLatin1(action);
}

void TestFocus::keysAfterMouse() {
    QFETCH(QString, action);
    FocusBar fixture;
    QVERIFY2(fixture.Start(), qPrintable(fixture.Diagnostics()));
    Bar &bar = *fixture.bar;
    const QList<QPoint> &tabs = fixture.tabs;

    if (action == QLatin1String("tab")) {
        QVERIFY(ClickAt(bar, tabs[1]));
        QVERIFY2(PollUntil([&] { return PagePosition(bar) == QLatin1String("Page 2 of 3"); }), qPrintable(bar.Title()));
    } else if (action == QLatin1String("gauge")) {
        // The gauge shrinks the bar to itself, and a second click brings the bar back.
        QVERIFY(ClickAt(bar, GaugeCentre));
        QVERIFY2(PollUntil([&] { return PlaceOf(bar.Window()).client.width() == 44; }), qPrintable(bar.Diagnostics()));
        SaveScreenshot(QStringLiteral("shrunk"));
        QVERIFY(ClickAt(bar, GaugeCentre));
        QVERIFY2(PollUntil([&] { return PlaceOf(bar.Window()).client.width() == 621; }), qPrintable(bar.Diagnostics()));
    } else if (action == QLatin1String("empty space")) {
        QVERIFY(ClickAt(bar, QPoint(tabs[2].x() + 60, tabs[2].y())));
    } else if (action == QLatin1String("help button")) {
        QVERIFY(ClickAt(bar, HelpButtonCentre));
        const QString help = WaitForWindowTitled(bar, QStringLiteral("Velmora Help"));
        QVERIFY2(!help.isEmpty(), qPrintable(bar.Diagnostics()));
        // The person closes the help and clicks the bar (beside its tabs) to come back to it.
        QVERIFY(Xdo({QStringLiteral("windowclose"), help}));
        QVERIFY(PollUntil([&] { return FindWindows(bar.Pid(), QStringLiteral("^Velmora Help$")).isEmpty(); }));
        QVERIFY(ClickAt(bar, QPoint(tabs[2].x() + 60, tabs[2].y())));
    } else if (action == QLatin1String("run button")) {
        QVERIFY(ClickAt(bar, RunButtonCentre));
        const QString dialog = WaitForWindowTitled(bar, QStringLiteral("Select Program to Run"));
        QVERIFY2(!dialog.isEmpty(), qPrintable(bar.Diagnostics()));
        QVERIFY(FocusOn(dialog));
        QVERIFY(Keys({QStringLiteral("Escape")}));
        QVERIFY(PollUntil([&] { return FindWindows(bar.Pid(), QStringLiteral("^Select Program to Run$")).isEmpty(); }));
    } else if (action == QLatin1String("button menu")) {
        QVERIFY2(OpenMenuAt(bar, ButtonCentre(1)), qPrintable(bar.Diagnostics()));
        QVERIFY(ChooseInMenu(bar, {QStringLiteral("Escape")}));
    } else if (action == QLatin1String("page menu")) {
        QVERIFY2(OpenMenuAt(bar, tabs[0]), qPrintable(bar.Diagnostics()));
        QVERIFY(ChooseInMenu(bar, {QStringLiteral("Escape")}));
    }
    // The window manager gives the keyboard back to the bar where it had it (after a dialog
    // or a menu); nothing but the bar itself decides where inside it the keys go.
    QVERIFY(PollUntil([&] { return FocusedWindow() == bar.Window(); }));

    // Home, then two buttons on: the second is selected and named in the caption.
    QVERIFY(Keys({QStringLiteral("Home"), QStringLiteral("Right"), QStringLiteral("Right")}));
    QVERIFY2(PollUntil([&] { return bar.Title().endsWith(QStringLiteral("Page 1 of 3       Second tool")); }),
             qPrintable(QStringLiteral("after a click on the %1: \"%2\"").arg(action, bar.Title())));
    SaveScreenshot(QStringLiteral("focus-%1").arg(action).replace(QLatin1Char(' '), QLatin1Char('-')));
    QVERIFY(Keys({QStringLiteral("Return")}));
    QVERIFY2(fixture.second.WaitUntilRan(), qPrintable(QStringLiteral("Enter started nothing\n") + bar.Diagnostics()));
    QVERIFY(!fixture.first.Ran());
    // The page area was not scrolled by the arrows: the gauge is where it was.
    QCOMPARE(PlaceOf(bar.Window()).client.width(), 621);
    const QImage picture = SettledGrab(bar.Window());
    QVERIFY(!picture.isNull());
    QCOMPARE(picture.pixelColor(1, 1), picture.pixelColor(1, 17)); // the gauge panel's left edge
}

void TestFocus::escapeCancelsMovesAfterMouse() {
    FocusBar fixture;
    QVERIFY2(fixture.Start(), qPrintable(fixture.Diagnostics()));
    Bar &bar = *fixture.bar;
    const QList<QPoint> &tabs = fixture.tabs;
    const QString file = fixture.home.SettingsFile();

    // A button move: it leaves its button; a tab is clicked to look for a place; Escape puts
    // it back.
    QVERIFY2(OpenMenuAt(bar, ButtonCentre(1)), qPrintable(bar.Diagnostics()));
    QVERIFY(ChooseInMenu(bar, {QStringLiteral("m")}));
    QVERIFY(PollUntil([&] { return IniValue(file, QStringLiteral("Programs"), QStringLiteral("SpeedButton1")).isEmpty(); }));
    QVERIFY(ClickAt(bar, tabs[2]));
    QVERIFY2(PollUntil([&] { return PagePosition(bar) == QLatin1String("Page 3 of 3"); }), qPrintable(bar.Title()));
    QVERIFY(Keys({QStringLiteral("Escape")}));
    QVERIFY2(PollUntil([&] { return IniValue(file, QStringLiteral("Programs"), QStringLiteral("SpeedButton1")) == ShellWord(fixture.first.Path()); }),
             qPrintable(QStringLiteral("Escape did not cancel the move\n") + bar.Diagnostics()));

    // A page move: the page leaves the bar; a click on the gauge; Escape puts it back.
    QVERIFY2(OpenMenuAt(bar, tabs[1]), qPrintable(bar.Diagnostics()));
    QVERIFY(ChooseInMenu(bar, {QStringLiteral("m")}));
    const QString question = WaitForWindowTitled(bar, QStringLiteral("Confirm"));
    QVERIFY2(!question.isEmpty(), qPrintable(bar.Diagnostics()));
    QVERIFY(FocusOn(question));
    QVERIFY(Keys({QStringLiteral("alt+y")}));
    QVERIFY2(PollUntil([&] { return bar.Title().endsWith(QStringLiteral(" of 2")); }), qPrintable(bar.Title()));
    QVERIFY(PollUntil([&] { return FocusedWindow() == bar.Window(); }));
    QVERIFY(ClickAt(bar, GaugeCentre));
    QVERIFY(Keys({QStringLiteral("Escape")}));
    QVERIFY2(PollUntil([&] { return bar.Title().endsWith(QStringLiteral(" of 3")); }),
             qPrintable(QStringLiteral("Escape did not cancel the page move: \"%1\"").arg(bar.Title())));
    QCOMPARE(IniValue(file, QStringLiteral("Tabs"), QStringLiteral("PageTab2")), QStringLiteral("Misc"));
    QCOMPARE(bar.Terminate(), 0);
}

QTEST_GUILESS_MAIN(TestFocus)
#include "tst_focus.moc"
