// The real bar locked behind a password and given a tab colour, with the mouse and the
// keyboard only: the lock holds across a restart and refuses the button menu; the colour
// chosen in the colour dialog is painted and comes back after a restart.

#include "BarDriver.h"
#include "prefs/Lockout.h"

#include <QtTest>

using namespace e2e;

namespace {
// Button 1 holds a program; the tabs are silver (selected) and pale yellow.
const QByteArray kSettings =
    "[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n[Pages]\nCount=3\n"
    "[Tabs]\nUnselectedColor=12648447\nPageTab1=One\nPageTab2=Two\nPageTab3=Three\n"
    "[Programs]\nSpeedButton1=/usr/bin/true\n[Names]\nSpeedButton1=Editor\n"
    "[Icons]\nSpeedButton1=Default\n";
const QColor kSelected(192, 192, 192);
const QColor kPaleYellow(255, 255, 192);
const QPoint kGauge(22, 9);

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}
QByteArray Record(const QByteArray &value) {
    return lockout::FormatRecord(lockout::Encrypt(value));
}

// How many pixels of the tab row, just above its bottom line, have this colour.
int TabRowPixels(const Bar &bar, const QColor &color) {
    const QImage picture = Grab(bar.Window());
    const int y = kTabRowTop + kTabRowHeight - 3;
    int count = 0;
    for (int x = kGaugeColumn; !picture.isNull() && y < picture.height() && x < picture.width();
         ++x)
        count += picture.pixelColor(x, y) == color;
    return count;
}
// How many pixels of the tab row are pure white: only names written in white on dark tabs are.
int WhiteTabTextPixels(const Bar &bar) {
    const QImage picture = Grab(bar.Window());
    int count = 0;
    for (int y = kTabRowTop; y < kTabRowTop + kTabRowHeight && y < picture.height(); ++y)
        for (int x = kGaugeColumn; x < picture.width(); ++x)
            count += picture.pixelColor(x, y) == QColor(Qt::white);
    return count;
}
} // namespace

class TestPrefs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
    }
    void lockSurvivesRestart();
    void tabColourChosenAndKept();

private:
    // The password box from the gauge's menu; the entry goes in with Return.
    static void EnterPassword(const Bar &bar, const QString &password) {
        QVERIFY(FocusOn(bar.Window()));
        // A pointer already on the gauge would never "move" there, and the click would wait.
        QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("1"), QStringLiteral("1")}));
        QVERIFY2(OpenMenuAt(bar, kGauge), "no gauge menu");
        QVERIFY(ChooseInMenu(bar, {QStringLiteral("m")}));
        QVERIFY(Type(password));
        QVERIFY(Keys({QStringLiteral("Return")}));
    }
    // The message box the bar shows, if any: a window of its own besides the bar.
    static QString MessageBox(const Bar &bar) {
        for (const QString &window :
             FindWindows(bar.Pid(), QStringLiteral("^Velmora$|^Orvane$|Warning")))
            if (window != bar.Window())
                return window;
        return {};
    }
    // A right click on button 1, then the arrow key that selects it from the keyboard. The bar
    // takes both in order, so once the caption shows the selection the click has been handled:
    // a menu it opened would have taken the key instead.
    static bool ButtonMenuRefused(const Bar &bar) {
        return FocusOn(bar.Window()) && ClickAt(bar, ButtonCentre(1), 3) &&
               Keys({QStringLiteral("Right")}) &&
               PollUntil([&] { return bar.Title().endsWith(QStringLiteral("Editor")); }) &&
               PopupMenuWindow(bar.Pid()).isEmpty();
    }
};

void TestPrefs::lockSurvivesRestart() {
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings(kSettings));
    const QString dat = home.Path("config") + QStringLiteral("/orvane/OV.DAT");
    const QString ini = home.SettingsFile();
    {
        Bar bar(home, {});
        QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
        // The installation's data file is set up at the first start: unlocked.
        QVERIFY2(PollUntil([&] { return ReadAll(dat) == Record("KepR417"); }),
                 qPrintable(bar.Diagnostics()));
        EnterPassword(bar, QStringLiteral("open sesame"));
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(PollUntil([&] { return ReadAll(dat) == Record("open sesame"); }),
                 qPrintable(bar.Diagnostics()));
        QCOMPARE(bar.Terminate(), 0);
    }
    QMap<QString, IniSection> before;
    for (const char *section : {"Programs", "Names", "Icons", "Tabs", "Pages"})
        before.insert(QLatin1String(section), ReadIniSection(ini, QLatin1String(section)));
    {
        Bar bar(home, {});
        QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
        QVERIFY2(ButtonMenuRefused(bar),
                 qPrintable(QStringLiteral("a locked bar opened the button menu\n") +
                            bar.Diagnostics()));
        SaveScreenshot(QStringLiteral("prefs-locked"));
        // A wrong password is refused with a warning, and the lock stays.
        EnterPassword(bar, QStringLiteral("guess"));
        if (QTest::currentTestFailed())
            return;
        QString box;
        QVERIFY2(PollUntil([&] { return !(box = MessageBox(bar)).isEmpty(); }),
                 qPrintable(QStringLiteral("no warning\n") + bar.Diagnostics()));
        SaveScreenshot(QStringLiteral("prefs-incorrect-password"));
        QVERIFY(FocusOn(box));
        QVERIFY(Keys({QStringLiteral("Return")}));
        QVERIFY(PollUntil([&] { return MessageBox(bar).isEmpty(); }));
        QCOMPARE(ReadAll(dat), Record("open sesame"));
        // The right password opens the bar: the button menu comes again.
        EnterPassword(bar, QStringLiteral("open sesame"));
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(PollUntil([&] { return ReadAll(dat) == Record("KepR417"); }),
                 qPrintable(bar.Diagnostics()));
        QVERIFY2(OpenMenuAt(bar, ButtonCentre(1)),
                 qPrintable(QStringLiteral("no button menu\n") + bar.Diagnostics()));
        QVERIFY(ChooseInMenu(bar, {QStringLiteral("Escape")}));
        QCOMPARE(bar.Terminate(), 0);
    }
    // Nothing about the buttons and pages changed.
    for (const char *section : {"Programs", "Names", "Icons", "Tabs", "Pages"})
        QCOMPARE(ReadIniSection(ini, QLatin1String(section)), before.value(QLatin1String(section)));
}

void TestPrefs::tabColourChosenAndKept() {
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings(kSettings));
    const QColor chosen(0x20, 0x50, 0xA0);
    {
        Bar bar(home, {});
        QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
        QList<QPoint> tabs;
        QVERIFY(PollUntil([&] {
            return (tabs = TabCentres(bar, {kSelected, kPaleYellow})).size() == 3;
        }));
        QCOMPARE(WhiteTabTextPixels(bar), 0); // black names on the light tabs
        QVERIFY(FocusOn(bar.Window()));
        QVERIFY2(OpenMenuAt(bar, tabs[1]),
                 qPrintable(QStringLiteral("no page menu\n") + bar.Diagnostics()));
        QVERIFY(ChooseInMenu(bar, {QStringLiteral("u")}));
        const QString dialog = WaitForWindowTitled(bar, QStringLiteral("Select Color"));
        QVERIFY2(!dialog.isEmpty(),
                 qPrintable(QStringLiteral("no colour dialog\n") + bar.Diagnostics()));
        QVERIFY(FocusOn(dialog));
        // The colour in HTML notation, in the field of that name.
        QVERIFY(Keys({QStringLiteral("alt+h"), QStringLiteral("ctrl+a")}));
        QVERIFY(Type(chosen.name()));
        SaveScreenshot(QStringLiteral("prefs-colour-dialog"));
        QVERIFY(Keys({QStringLiteral("Return")}));
        QVERIFY(PollUntil(
            [&] { return FindWindows(bar.Pid(), QStringLiteral("^Select Color$")).isEmpty(); }));
        QVERIFY2(PollUntil([&] {
                     return IniValue(home.SettingsFile(), QStringLiteral("Tabs"),
                                     QStringLiteral("UnselectedColor")) ==
                            QString::number(chosen.red() | chosen.green() << 8 |
                                            chosen.blue() << 16);
                 }),
                 qPrintable(IniValue(home.SettingsFile(), QStringLiteral("Tabs"),
                                     QStringLiteral("UnselectedColor"))));
        // Two tabs are unselected: their fill is the new colour, and the old one is gone.
        const bool painted = PollUntil(
            [&] { return TabRowPixels(bar, chosen) > 20 && TabRowPixels(bar, kPaleYellow) == 0; });
        if (!painted)
            SaveScreenshot(QStringLiteral("prefs-colour-wrong"));
        QVERIFY2(painted, "the unselected tabs are not in the chosen colour");
        // Black names would not read on the dark blue: they are written in white there, and
        // stay black on the silver tab.
        QVERIFY2(WhiteTabTextPixels(bar) > 10, "the names on the dark tabs are not light");
        SaveScreenshot(QStringLiteral("prefs-colour-chosen"));
        QCOMPARE(bar.Terminate(), 0);
    }
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    const bool kept = PollUntil([&] {
        return TabCentres(bar, {kSelected, chosen}).size() == 3 &&
               TabRowPixels(bar, kPaleYellow) == 0;
    });
    if (!kept)
        SaveScreenshot(QStringLiteral("prefs-colour-restart-wrong"));
    QVERIFY2(kept, "after a restart the tabs are not in the chosen colour");
    SaveScreenshot(QStringLiteral("prefs-colour-restarted"));
    // The dialog's sixteen custom colours were stored with it.
    for (char letter = 'A'; letter <= 'P'; ++letter)
        QCOMPARE(IniValue(home.SettingsFile(), QStringLiteral("Colors"),
                          QStringLiteral("Color") + QLatin1Char(letter)),
                 QStringLiteral("FFFFFF"));
}

QTEST_GUILESS_MAIN(TestPrefs)
#include "tst_prefs.moc"
