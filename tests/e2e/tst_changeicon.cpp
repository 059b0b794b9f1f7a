// "Change Icon" on the real bar, with the mouse and the keyboard only: a file of several icons
// chosen in the file dialog is shown in the bar's own icon picker, and the icon chosen there is
// stored for the button.

#include "../fuzz/IconFixtures.h"
#include "BarDriver.h"

#include <QtTest>

using namespace e2e;

class TestChangeIcon : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
    }

    void pickerChoosesFromTheFile() {
        BarHome home;
        QVERIFY(home.IsValid());
        // A library of two icons, red and green.
        const QString library = home.Path("icons.dll");
        const fixture::Pe pe =
            fixture::BuildPe({{u"", 1, {fixture::SolidImage(32, 32, 32, 0xff0000)}},
                              {u"", 2, {fixture::SolidImage(32, 32, 32, 0x00ff00)}}});
        QFile file(library);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(pe.bytes.data(), qint64(pe.bytes.size())), qint64(pe.bytes.size()));
        file.close();
        QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n"
                                   "[Programs]\nSpeedButton1=/usr/bin/true\n"
                                   "[Icons]\nSpeedButton1=Default\n"));
        Bar bar(home, {});
        QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));

        QVERIFY(FocusOn(bar.Window()));
        QVERIFY2(OpenMenuAt(bar, ButtonCentre(1)), "no button menu");
        // "Configure Button" shares its letter with "Copy Button": the arrows reach it.
        QVERIFY(ChooseInMenu(bar, {QStringLiteral("Down"), QStringLiteral("Down"),
                                   QStringLiteral("Down"), QStringLiteral("Down"),
                                   QStringLiteral("Right"), QStringLiteral("i")}));
        const QString files = WaitForWindowTitled(bar, QStringLiteral("Please select an Icon"));
        QVERIFY2(!files.isEmpty(), "no file dialog");
        QVERIFY(FocusOn(files));
        QVERIFY(Type(library));
        QVERIFY(Keys({QStringLiteral("Return")}));

        const QString picker = WaitForWindowTitled(bar, QStringLiteral("Select"));
        QVERIFY2(!picker.isEmpty(), "the icon picker was not shown");
        // Up to the second icon, then the choose button, which shows it, at the picker's left.
        const QPoint origin = PlaceOf(picker).client.topLeft();
        for (const QPoint &at : {origin + QPoint(56, 11), origin + QPoint(20, 20)})
            QVERIFY(
                Xdo({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                     QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")}));
        QVERIFY2(PollUntil([&] {
                     return IniValue(home.SettingsFile(), QStringLiteral("Icons"),
                                     QStringLiteral("SpeedButton1")) == library;
                 }),
                 qPrintable(bar.Diagnostics()));
        QCOMPARE(IniValue(home.SettingsFile(), QStringLiteral("IconSelection"),
                          QStringLiteral("SpeedButton1")),
                 QStringLiteral("1"));
        QCOMPARE(bar.Terminate(), 0);
    }
};

QTEST_MAIN(TestChangeIcon)
#include "tst_changeicon.moc"
