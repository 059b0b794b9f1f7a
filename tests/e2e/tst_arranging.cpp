// Arranging the real bar with the mouse and the keyboard only: a page renamed through the page
// menu and the inline box, a page deleted after the question, a button moved to another page.
// The settings file afterwards holds exactly the new arrangement.

#include "BarDriver.h"

#include <QtTest>

using namespace e2e;

namespace {
// Tab fills easy to tell from the background; the selected tab stays silver.
const QColor Selected(192, 192, 192);
const QColor Unselected(255, 255, 192);

// A configured button; its other values follow from its name.
struct Record {
    int number;
    const char *name;
};

QByteArray Settings(const QList<Record> &records, int pages, const QStringList &tabs) {
    QByteArray text = "[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n[Pages]\nCount=" +
                      QByteArray::number(pages) + "\n[Tabs]\nUnselectedColor=12648447\n";
    for (int i = 0; i < tabs.size(); ++i)
        text += "PageTab" + QByteArray::number(i + 1) + "=" + tabs[i].toUtf8() + "\n";
    for (const char *section : {"Programs", "Parameters", "Icons", "Names"}) {
        text += QByteArray("[") + section + "]\n";
        for (const Record &r : records) {
            const QByteArray key = "SpeedButton" + QByteArray::number(r.number) + "=";
            if (qstrcmp(section, "Programs") == 0)
                text += key + "/usr/bin/true\n";
            else if (qstrcmp(section, "Parameters") == 0)
                text += key + QByteArray(r.name).toLower() + ".txt\n";
            else if (qstrcmp(section, "Icons") == 0)
                text += key + "Default\n";
            else
                text += key + r.name + "\n";
        }
    }
    return text;
}

// What a record section should hold for these records.
IniSection Expected(const QList<Record> &records, const char *section) {
    IniSection values;
    for (const Record &r : records) {
        const QString key = QStringLiteral("speedbutton%1").arg(r.number);
        if (qstrcmp(section, "Programs") == 0)
            values.insert(key, QStringLiteral("/usr/bin/true"));
        else if (qstrcmp(section, "Parameters") == 0)
            values.insert(key, QString::fromUtf8(r.name).toLower() + QStringLiteral(".txt"));
        else if (qstrcmp(section, "Icons") == 0)
            values.insert(key, QStringLiteral("Default"));
        else
            values.insert(key, QString::fromUtf8(r.name));
    }
    return values;
}

} // namespace

class TestArranging : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void renameDeleteAndMove();
};

void TestArranging::initTestCase() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
}

void TestArranging::renameDeleteAndMove() {
    // Four pages, each tab named (without descenders: the tabs are found by their fill just
    // above the bottom line). Beta moves from page 1 to page 3; then page 2 goes with its record
    // Games, and pages 3 and 4 move down a page.
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings(
        Settings({{1, "Alpha"}, {2, "Beta"}, {17, "Games"}, {33, "Gamma"}, {49, "Delta"}}, 4,
                 {QStringLiteral("Tools"), QStringLiteral("Games"), QStringLiteral("Misc"), QStringLiteral("Extra")})
        + "[MRU]\nCount=1\n1=Beta  |2\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    const QString file = home.SettingsFile();
    QList<QPoint> tabs;
    auto findTabs = [&](int count) {
        return PollUntil([&] { return (tabs = TabCentres(bar, {Selected, Unselected})).size() == count; });
    };
    QVERIFY2(findTabs(4), qPrintable(QStringLiteral("%1 tabs seen").arg(tabs.size())));

    // Rename the first page: its tab's menu, R, the name, Enter.
    QVERIFY(FocusOn(bar.Window()));
    QVERIFY2(OpenMenuAt(bar, tabs[0]), qPrintable(QStringLiteral("no page menu\n") + bar.Diagnostics()));
    QVERIFY(ChooseInMenu(bar, {QStringLiteral("r")}));
    QVERIFY(Type(QStringLiteral("Work")));
    SaveScreenshot(QStringLiteral("arranging-rename"));
    QVERIFY(Keys({QStringLiteral("Return")}));
    QVERIFY2(PollUntil([&] { return IniValue(file, QStringLiteral("Tabs"), QStringLiteral("PageTab1")) == QLatin1String("Work"); }),
             qPrintable(QStringLiteral("PageTab1=%1\n").arg(IniValue(file, QStringLiteral("Tabs"), QStringLiteral("PageTab1")))
                        + bar.Diagnostics()));
    // The renamed tab has another width.
    QVERIFY(findTabs(4));

    // Move Beta to the third button of page 3: its menu, M, the tab, the button. It leaves its
    // button at once, and its recently launched entry follows it.
    QVERIFY2(OpenMenuAt(bar, ButtonCentre(2)), qPrintable(QStringLiteral("no button menu\n") + bar.Diagnostics()));
    QVERIFY(ChooseInMenu(bar, {QStringLiteral("m")}));
    QVERIFY(PollUntil([&] { return IniValue(file, QStringLiteral("Programs"), QStringLiteral("SpeedButton2")).isEmpty(); }));
    QVERIFY(ClickAt(bar, tabs[2]));
    QVERIFY2(PollUntil([&] { return PagePosition(bar) == QLatin1String("Page 3 of 4"); }), qPrintable(bar.Title()));
    QVERIFY(ClickAt(bar, ButtonCentre(3)));
    QVERIFY2(PollUntil([&] { return IniValue(file, QStringLiteral("Programs"), QStringLiteral("SpeedButton35")) == QLatin1String("/usr/bin/true"); }),
             qPrintable(QStringLiteral("the button was not placed\n") + bar.Diagnostics()));
    QCOMPARE(IniValue(file, QStringLiteral("Names"), QStringLiteral("SpeedButton35")), QStringLiteral("Beta"));
    QCOMPARE(IniValue(file, QStringLiteral("MRU"), QStringLiteral("1")), QStringLiteral("Beta  |35"));
    SaveScreenshot(QStringLiteral("arranging-moved"));

    // Delete the second page: its tab's menu, D, then Yes in the question.
    QVERIFY2(OpenMenuAt(bar, tabs[1]), qPrintable(QStringLiteral("no page menu\n") + bar.Diagnostics()));
    QVERIFY(ChooseInMenu(bar, {QStringLiteral("d")}));
    const QString question = WaitForWindowTitled(bar, QStringLiteral("Confirm"));
    QVERIFY2(!question.isEmpty(), qPrintable(QStringLiteral("no question\n") + bar.Diagnostics()));
    QVERIFY(FocusOn(question));
    SaveScreenshot(QStringLiteral("arranging-delete-question"));
    QVERIFY(Keys({QStringLiteral("alt+y")}));
    QVERIFY2(PollUntil([&] { return bar.Title().endsWith(QStringLiteral(" of 3")); }), qPrintable(bar.Title()));
    QVERIFY(PollUntil([&] { return FindWindows(bar.Pid(), QStringLiteral("^Confirm$")).isEmpty(); }));
    QVERIFY(findTabs(3));
    SaveScreenshot(QStringLiteral("arranging-deleted"));

    QCOMPARE(bar.Terminate(), 0);
    // Games is gone, the later records a page further down: Beta on 19. Rebuilding the pages
    // empties the recently launched list, whose entries name buttons by number.
    const QList<Record> records = {{1, "Alpha"}, {17, "Gamma"}, {19, "Beta"}, {33, "Delta"}};
    for (const char *section : {"Programs", "Parameters", "Icons", "Names"})
        QCOMPARE(ReadIniSection(file, QLatin1String(section)), Expected(records, section));
    QCOMPARE(ReadIniSection(file, QStringLiteral("Tabs")),
             (IniSection{{QStringLiteral("unselectedcolor"), QStringLiteral("12648447")},
                         {QStringLiteral("pagetab1"), QStringLiteral("Work")},
                         {QStringLiteral("pagetab2"), QStringLiteral("Misc")},
                         {QStringLiteral("pagetab3"), QStringLiteral("Extra")}}));
    QCOMPARE(ReadIniSection(file, QStringLiteral("Pages")), (IniSection{{QStringLiteral("count"), QStringLiteral("3")}}));
    QCOMPARE(ReadIniSection(file, QStringLiteral("MRU")), (IniSection{{QStringLiteral("count"), QStringLiteral("0")}}));
    for (const char *section : {"Shrink", "Select", "Working", "IconSelection", "SoundSelect", "SoundLaunch"})
        QVERIFY2(ReadIniSection(file, QLatin1String(section)).isEmpty(), section);
}

QTEST_GUILESS_MAIN(TestArranging)
#include "tst_arranging.moc"
