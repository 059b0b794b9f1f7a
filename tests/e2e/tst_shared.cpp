// Shared mode on a real session bus: a copy started with "/m" that changes the pages posts a
// request, and every copy of the profile follows it ("/m" decides only whether a copy posts);
// copies of another profile do not.

#include "BarHarness.h"
#include "settings/NewIniFile.h"

#include <QtTest>

using namespace e2e;

namespace {
const QByteArray Layout = "[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n";

// The tab row of a window's picture: below the page area, right of the gauge column.
QImage TabRow(const QImage &window) { return window.copy(44, 37, window.width() - 44, 17); }

bool EndsWithPage(const Bar &bar, const QString &position) { return bar.Title().endsWith(position); }

// Makes a bar's window the one that gets the keyboard, and waits until it has.
bool FocusOn(const Bar &bar) {
    Tool(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), bar.Window()});
    return PollUntil([&] {
        return QString::fromLatin1(Tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")})).trimmed()
            == bar.Window();
    });
}

// A right click on the first tab opens the page menu; true once the menu is on the screen.
bool OpenPageMenu(const Bar &bar) {
    if (!FocusOn(bar))
        return false;
    Tool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"), bar.Window(),
                                     QStringLiteral("60"), QStringLiteral("45"), QStringLiteral("click"),
                                     QStringLiteral("3")});
    return PollUntil([&] { return !PopupMenuWindow(bar.Pid()).isEmpty(); });
}

// Presses keys in the open menu; true once the menu has closed, so that what the chosen item
// opened has the keyboard.
bool ChooseInMenu(const Bar &bar, const QStringList &keys) {
    Tool(QStringLiteral("xdotool"), QStringList{QStringLiteral("key")} + keys);
    return PollUntil([&] { return PopupMenuWindow(bar.Pid()).isEmpty(); });
}

} // namespace

class TestShared : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void rebuildRequestReachesEveryCopyOfTheProfile();
    void renameInOneCopyShowsInTheOther();
    void switchInOneCopyRebuildsTheOther();
};

void TestShared::initTestCase() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"),
             "run through tests/e2e/with-display.sh");
}

// A program changes the page count in the file and posts the rebuild request of profile Team:
// the copies of Team rebuild with three pages, the one started without "/m" too; a shared copy
// of another profile stays as it was until its own request comes.
void TestShared::rebuildRequestReachesEveryCopyOfTheProfile() {
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings(Layout, QStringLiteral("Team")));
    QVERIFY(home.WriteSettings(Layout, QStringLiteral("Other")));

    Bar first(home, {QStringLiteral("/m"), QStringLiteral("Team")});
    Bar second(home, {QStringLiteral("/m"), QStringLiteral("Team")});
    Bar alone(home, {QStringLiteral("Team")});
    Bar other(home, {QStringLiteral("/m"), QStringLiteral("Other")});
    for (Bar *bar : {&first, &second, &alone, &other})
        QVERIFY2(bar->WaitForWindow(), qPrintable(bar->Diagnostics()));
    QVERIFY(first.Title().startsWith(QStringLiteral("Velmora Team ")));
    const QString otherTitle = other.Title();

    // Both files change; only the request decides which copies show it.
    TNewIniFile(home.SettingsFile(QStringLiteral("Team"))).WriteInteger(QStringLiteral("Pages"), QStringLiteral("Count"), 3);
    TNewIniFile(home.SettingsFile(QStringLiteral("Other"))).WriteInteger(QStringLiteral("Pages"), QStringLiteral("Count"), 2);
    QVERIFY(PostFromOutside(QStringLiteral("UOVFormTeam")));
    const bool rebuilt = PollUntil([&] {
        return EndsWithPage(first, QStringLiteral("Page 1 of 3")) && EndsWithPage(second, QStringLiteral("Page 1 of 3"))
            && EndsWithPage(alone, QStringLiteral("Page 1 of 3"));
    });
    QVERIFY2(rebuilt, qPrintable(QStringLiteral("titles: \"%1\", \"%2\", \"%3\"")
                                     .arg(first.Title(), second.Title(), alone.Title())));

    // The copy of the other profile has had the Team request too; it reacts to its own only.
    QCOMPARE(other.Title(), otherTitle);
    QVERIFY(PostFromOutside(QStringLiteral("UOVFormOther")));
    QVERIFY2(PollUntil([&] { return EndsWithPage(other, QStringLiteral("Page 1 of 2")); }),
             qPrintable(other.Title()));
    SaveScreenshot(QStringLiteral("shared-rebuilt"));
}

// The user renames the first page in one copy (page menu, inline box): that copy writes the
// name and posts the reload request, and the other copy's tab row shows the new name.
void TestShared::renameInOneCopyShowsInTheOther() {
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings(Layout, QStringLiteral("Team")));
    Bar editor(home, {QStringLiteral("/m"), QStringLiteral("Team")});
    Bar follower(home, {QStringLiteral("/m"), QStringLiteral("Team")});
    QVERIFY2(editor.WaitForWindow(), qPrintable(editor.Diagnostics()));
    QVERIFY2(follower.WaitForWindow(), qPrintable(follower.Diagnostics()));

    // Both open at the stored place; move the follower clear of the editor to see it whole.
    Tool(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), follower.Window(),
                                     QStringLiteral("50"), QStringLiteral("400")});
    QVERIFY(PollUntil([&] { return PlaceOf(follower.Window()).FramePosition() == QPoint(50, 400); }));
    const QImage before = TabRow(SettledGrab(follower.Window()));
    QVERIFY(!before.isNull());
    SaveScreenshot(QStringLiteral("shared-before-rename"));

    // R is "&Rename Page"; the inline box takes the name and Enter applies it.
    QVERIFY2(OpenPageMenu(editor), qPrintable(QStringLiteral("a right click on a tab opened no menu\n") + editor.Diagnostics()));
    QVERIFY(ChooseInMenu(editor, {QStringLiteral("r")}));
    Tool(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                                     QStringLiteral("Alpha")});
    Tool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});

    const QString file = home.SettingsFile(QStringLiteral("Team"));
    QVERIFY2(PollUntil([&] { return IniValue(file, QStringLiteral("Tabs"), QStringLiteral("PageTab1")) == QLatin1String("Alpha"); }),
             qPrintable(QStringLiteral("PageTab1 is \"%1\"\n").arg(IniValue(file, QStringLiteral("Tabs"), QStringLiteral("PageTab1")))
                        + editor.Diagnostics()));
    QVERIFY2(PollUntil([&] { return TabRow(Grab(follower.Window())) != before; }),
             "the other copy's tab row did not change");
    SettledGrab(follower.Window());
    SaveScreenshot(QStringLiteral("shared-after-rename"));
}

// The user switches one copy to 16 buttons per page (page menu on a tab): it re-pages the file
// and posts the rebuild request, and the other copy takes the new layout and pages.
void TestShared::switchInOneCopyRebuildsTheOther() {
    QByteArray settings = "[Location]\nTop=100\nLeft=50\nButtonCount=21\nOnTop=No\n"
                          "[Pages]\nCount=2\n[Tabs]\nPageTab1=Tools\nPageTab2=Games\n[Programs]\n";
    for (int n = 1; n <= 21; ++n) // a full first page, an empty second one
        settings += "SpeedButton" + QByteArray::number(n) + "=/usr/bin/xmessage\n";
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings(settings, QStringLiteral("Team")));
    Bar editor(home, {QStringLiteral("/m"), QStringLiteral("Team")});
    Bar follower(home, {QStringLiteral("/m"), QStringLiteral("Team")});
    QVERIFY2(editor.WaitForWindow(), qPrintable(editor.Diagnostics()));
    QVERIFY2(follower.WaitForWindow(), qPrintable(follower.Diagnostics()));
    Tool(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), follower.Window(),
                                     QStringLiteral("50"), QStringLiteral("400")});
    QVERIFY(PollUntil([&] { return PlaceOf(follower.Window()).client.width() == 801; }));

    // The page menu's last two items are "Show 16 Buttons per Page" and "Show 21 Buttons per
    // Page"; Up in a fresh menu takes the last item, a second Up the one above it.
    QVERIFY2(OpenPageMenu(editor), qPrintable(QStringLiteral("a right click on a tab opened no menu\n") + editor.Diagnostics()));
    QVERIFY(ChooseInMenu(editor, {QStringLiteral("Up"), QStringLiteral("Up"), QStringLiteral("Return")}));

    // The first page splits in two pages named Tools (16 and 5 buttons); the empty one goes.
    const bool followed = PollUntil([&] {
        return PlaceOf(follower.Window()).client.width() == 621 &&
               EndsWithPage(follower, QStringLiteral("Page 1 of 2"));
    });
    QVERIFY2(followed, qPrintable(QStringLiteral("the other copy: %1 wide, \"%2\"")
                                      .arg(PlaceOf(follower.Window()).client.width()).arg(follower.Title())));
    QVERIFY(PollUntil([&] { return PlaceOf(editor.Window()).client.width() == 621; }));
    const QString file = home.SettingsFile(QStringLiteral("Team"));
    QCOMPARE(IniValue(file, QStringLiteral("Location"), QStringLiteral("ButtonCount")), QStringLiteral("16"));
    QCOMPARE(IniValue(file, QStringLiteral("Tabs"), QStringLiteral("PageTab2")), QStringLiteral("Tools"));
    QCOMPARE(IniValue(file, QStringLiteral("Programs"), QStringLiteral("SpeedButton21")), QStringLiteral("/usr/bin/xmessage"));
    QCOMPARE(IniValue(file, QStringLiteral("Programs"), QStringLiteral("SpeedButton22")), QString());
    SaveScreenshot(QStringLiteral("shared-switched-to-16"));
}

QTEST_GUILESS_MAIN(TestShared)
#include "tst_shared.moc"
