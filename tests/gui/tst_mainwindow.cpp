// The main window with a fake platform: start-up, tabs and caption, the 16/21 switch,
// closing, help mode, location saving and shared mode.
#include "FakePlatform.h"
#include "FileSizeLimit.h"
#include "app/Icons.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDate>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {
QString Today() { return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat); }

QString Caption(const QString &profile, int page, int of) {
    const QString six(6, ' ');
    return "Velmora " + profile + six + Today() + six + QString("Page %1 of %2").arg(page).arg(of);
}

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Two pages of 21 buttons with programs on the first page, slots 1 and 21, and page 2, slot 3.
const char *kTwoPages21 = "[Location]\nTop=100\nLeft=20\nButtonCount=21\n"
                          "[Pages]\nCount=2\n[Tabs]\nPageTab1=Tools\nPageTab2=Games\n"
                          "[Programs]\nSpeedButton1=/usr/bin/a\nSpeedButton21=/usr/bin/b\nSpeedButton24=/usr/bin/c\n"
                          "[Names]\nSpeedButton1=Alpha\n";
} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;

    std::unique_ptr<TForm1> Start(const QStringList &arguments = {}) {
        fake->arguments = arguments;
        fake->ExpectImportQuestionIfNew(arguments.isEmpty() ? QString() : arguments.last());
        return std::make_unique<TForm1>(fake->Get());
    }

private slots:
    void init() { fake = std::make_unique<FakePlatform>(); }
    void cleanup() {
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    void newInstallation() {
        auto form = Start();
        QCOMPARE(form->TabRow()->count(), 20);
        QCOMPARE(form->PageArea()->count(), 20);
        QCOMPARE(form->TabRow()->tabText(0), QString("Page1"));
        QCOMPARE(form->TabRow()->tabText(19), QString("Page20"));
        QCOMPARE(form->ButtonsPerPage(), 21); // the screen's maximum on a 1024-pixel screen
        QVERIFY(form->FindButton(420));
        QVERIFY(!form->FindButton(421));
        QCOMPARE(form->FindButton(23)->parentWidget(), form->PageArea()->widget(1));
        QCOMPARE(form->FindButton(23)->geometry(), QRect(36, 0, 37, 37));
        QCOMPARE(form->FindButton(1)->toolTip(), QString("Mouse: Left=Load/Launch  Right=Options"));
        QCOMPARE(form->windowTitle(), Caption("", 1, 20));
        QVERIFY(form->Items().page.PButton16->isVisible());
        QCOMPARE(form->KeyPosition(), 0);
        // Framed: the client area is the bar without the frame's borders.
        QCOMPARE(form->size(), QSize(44 + 756 + 7 - 6, 54));
        QCOMPARE(form->pos(), QPoint(0, 768 - (19 + 85)));
        QVERIFY(!form->LocationSavingSuppressed());
        // Answering No to the import keeps only the page size and the place.
        const TNewIniFile ini(fake->IniPath());
        QCOMPARE(ini.ReadInteger("Location", "ButtonCount", 0), 21);
        QVERIFY(!ini.SectionExists("Pages"));
        QVERIFY(!ini.SectionExists("Tabs"));
        // and the mark that its lockout data file is set up (the profile name, empty here).
        QCOMPARE(ini.ReadString("Location", "User", "<none>"), QString(""));
    }

    // Only a usable "Top" marks an installation: an empty one reads as the default.
    void newInstallationByTop_data() {
        QTest::addColumn<QString>("top");
        QTest::addColumn<int>("perPage"); // a new installation takes the screen's maximum
        QTest::newRow("empty") << "Top=\n" << 21;
        QTest::newRow("blanks") << "Top=   \n" << 21;
        QTest::newRow("a position") << "Top=300\n" << 16;
        QTest::newRow("-50 is a position too") << "Top=-50\n" << 16;
    }
    void newInstallationByTop() {
        QFETCH(QString, top);
        fake->WriteIni("[Location]\n" + top + "Left=30\n");
        auto form = Start();
        QTEST(form->ButtonsPerPage(), "perPage");
    }

    void narrowScreenHasNoPageSizeItems() {
        fake->system.usableWidth = 650;
        auto form = Start();
        QCOMPARE(form->ButtonsPerPage(), 16);
        QVERIFY(!form->Items().page.PButton16->isVisible());
        QVERIFY(!form->Items().page.PButton21->isVisible());
    }

    void existingFile() {
        fake->WriteIni("[Location]\nTop=200\nLeft=30\nButtonCount=16\nOnTop=Yes\nCheckExit=Yes\n"
                       "AutoExpand=No\nShrink=No\n[Pages]\nCount=3\n"
                       "[Tabs]\nPageTab1=Work\nPageTab3=Play\n", "Work");
        auto form = Start({"Work"});
        QCOMPARE(form->ProfileName(), QString("Work"));
        QCOMPARE(form->TabRow()->count(), 3);
        QCOMPARE(form->TabRow()->tabText(0), QString("Work"));
        QCOMPARE(form->TabRow()->tabText(1), QString("Page2"));
        QCOMPARE(form->TabRow()->tabText(2), QString("Play"));
        QCOMPARE(form->ButtonsPerPage(), 16);
        QCOMPARE(form->pos(), QPoint(30, 200));
        QCOMPARE(form->size(), QSize(620, 54)); // stay-on-top: no border
        QVERIFY(form->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(form->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(form->Items().setup.StayonTop1->isChecked());
        QVERIFY(form->Items().setup.ConfirmExit1->isChecked());
        QVERIFY(!form->Items().setup.AutoExpand1->isChecked());
        QVERIFY(!form->Items().setup.ShrinkOnLaunch1->isChecked());
        QCOMPARE(form->windowTitle(), Caption("Work", 1, 3));
    }

    void badValuesKeepTheDesignState() {
        fake->WriteIni("[Location]\nTop=abc\nButtonCount=-5\nOnTop=maybe\nCheckExit=yes\n"
                       "[Pages]\nCount=10000000\n");
        auto form = Start();
        QCOMPARE(form->ButtonsPerPage(), 16);
        // pages × buttons per page stays bounded
        QCOMPARE(form->TabRow()->count(), 99999 / 16);
        QVERIFY(!form->Items().setup.StayonTop1->isChecked());
        QVERIFY(!form->Items().setup.ConfirmExit1->isChecked()); // "yes" is not "Yes"
        QCOMPARE(form->size(), QSize(624, 76));            // the design size
    }

    void zeroPages() {
        fake->WriteIni("[Location]\nTop=10\n[Pages]\nCount=0\n");
        auto form = Start();
        QCOMPARE(form->TabRow()->count(), 0);
        QCOMPARE(form->windowTitle(), Caption("", 0, 0));
    }

    void loadClearsEmptyKeysButKeepsTheRest() {
        fake->WriteIni("[Location]\nTop=10\n[Programs]\nSpeedButton1=/bin/x\nSpeedButton2=\n"
                       "[IconSelection]\nSpeedButton1=0\n[Names]\nSpeedButton1=Ex\n");
        auto form = Start();
        const QByteArray text = ReadAll(fake->IniPath());
        QVERIFY(text.contains("SpeedButton1=/bin/x"));
        QVERIFY(text.contains("SpeedButton1=Ex"));
        QVERIFY(!text.contains("SpeedButton2="));
        QVERIFY(!text.contains("SpeedButton1=0"));
        QCOMPARE(form->FindButton(1)->property("Tag").toInt(), 100);
    }

    // The count bound allows one page of 99,999 buttons: every one is made, named and placed,
    // and at most one of them is down. A button joins its page's group under its slot: with no
    // id of its own, adding it searches every id given so far, and such a page took minutes.
    void pageOfTheLargestCount() {
        fake->WriteIni("[Location]\nTop=10\nButtonCount=99999\n[Programs]\nSpeedButton99999=/bin/x\n");
        auto form = Start();
        QCOMPARE(form->TabRow()->count(), 1);
        QToolButton *first = form->FindButton(1), *last = form->FindButton("SpeedButton99999");
        QVERIFY(first && last);
        QCOMPARE(last->geometry(), QRect(36 * 99998, 0, 37, 37));
        QCOMPARE(last->property("Tag").toInt(), 100);
        QButtonGroup *group = first->group();
        QVERIFY(group && last->group() == group);
        QCOMPARE(group->id(last), 99999);
        first->setChecked(true);
        last->setChecked(true);
        QVERIFY(!first->isChecked());
        QCoreApplication::sendPostedEvents(); // what the event loop does long before the bar ends
    }

    // A page far longer than the window makes its buttons as they come into view; to everyone
    // else every button is there: asked for by name, under a drop, with its record.
    void aLongPageMakesTheButtonsInView() {
        fake->WriteIni("[Location]\nTop=10\nButtonCount=3000\n"
                       "[Programs]\nSpeedButton2990=/bin/x\n[Names]\nSpeedButton2990=Far\n");
        auto form = Start();
        form->show();
        const auto made = [&] { return form->PageArea()->findChildren<QToolButton *>().size(); };
        const int inView = form->width() / 36 + 1;
        QVERIFY2(made() < inView + 2 * 64, qPrintable(QString::number(made())));
        QVERIFY(qobject_cast<QToolButton *>(form->childAt(60, 10)));

        // Scrolled to the end: the buttons now in view are there to be seen and dropped on.
        QScrollBar *bar = form->findChild<QScrollArea *>()->horizontalScrollBar();
        bar->setValue(bar->maximum());
        const QPoint end(form->width() - 30, 10);
        auto *under = qobject_cast<QToolButton *>(form->childAt(end));
        QVERIFY(under);
        QVERIFY(under->isVisible());
        QCOMPARE(under->objectName(), ButtonKey(form->DropTarget(end)));
        QVERIFY(ButtonNumber(under->objectName()) > 2900);
        QVERIFY(made() < 2 * (inView + 2 * 64));

        QToolButton *far = form->FindButton("SpeedButton2990");
        QCOMPARE(far->toolTip(), QString("Far"));
        QToolButton *middle = form->FindButton(1500); // never in view
        QVERIFY(middle);
        QCOMPARE(middle->geometry(), QRect(36 * 1499, 0, 37, 37));
        QCOMPARE(middle->group(), far->group());
        far->setChecked(true);
        middle->setChecked(true);
        QVERIFY(!far->isChecked());
    }

    void tabsCaptionAndKeyPosition() {
        fake->WriteIni("[Location]\nTop=10\nButtonCount=16\n[Pages]\nCount=5\n");
        auto form = Start();
        form->TabRow()->setCurrentIndex(3);
        QCOMPARE(form->PageArea()->currentIndex(), 3);
        QCOMPARE(form->windowTitle(), Caption("", 4, 5));
        QCOMPARE(form->KeyPosition(), 48);
        form->TabRow()->setCurrentIndex(0);
        QCOMPARE(form->KeyPosition(), 5 * 16); // the first tab: the last button of the last page
        QCOMPARE(form->windowTitle(), Caption("", 1, 5));
    }

    void sixteenTwentyOneSwitch() {
        fake->WriteIni(kTwoPages21);
        auto form = Start();
        QCOMPARE(form->ButtonsPerPage(), 21);
        const int rebuilds = form->RebuildCount();
        form->Items().page.PButton21->trigger(); // already in force: nothing happens
        QCOMPARE(form->RebuildCount(), rebuilds);

        form->Items().page.PButton16->trigger();
        QCOMPARE(form->ButtonsPerPage(), 16);
        QCOMPARE(form->RequestedCount(), 16);
        QCOMPARE(form->RebuildCount(), rebuilds + 1);
        const QByteArray text = ReadAll(fake->IniPath());
        QVERIFY(text.contains("ButtonCount=16"));
        // Page "Tools" became two pages of 16; old slot 21 is slot 5 of the second one.
        QCOMPARE(form->TabNames(), QStringList({"Tools", "Tools", "Games"}));
        QVERIFY(text.contains("SpeedButton21=/usr/bin/b"));
        QVERIFY(text.contains("SpeedButton35=/usr/bin/c"));

        form->Items().page.PButton21->trigger();
        QCOMPARE(form->ButtonsPerPage(), 21);
        QCOMPARE(form->TabNames(), QStringList({"Tools", "Games"}));
        const QByteArray back = ReadAll(fake->IniPath());
        QVERIFY(back.contains("SpeedButton1=/usr/bin/a"));
        QVERIFY(back.contains("SpeedButton21=/usr/bin/b"));
        QVERIFY(back.contains("SpeedButton24=/usr/bin/c"));
    }

    // A refused write in the middle of the switch: the error box, the file byte-identical, no
    // rebuild. Root passes every permission check; the file size limit fails writes for root too.
    void refusedSwitchChangesNothing() {
        fake->WriteIni(kTwoPages21);
        auto form = Start();
        const QByteArray before = ReadAll(fake->IniPath());
        const int rebuilds = form->RebuildCount();
        fake->dialogs.ExpectError("Unable to write to " + fake->IniPath());
        {
            const FileSizeLimit full(16);
            form->Items().page.PButton16->trigger();
        }
        QCOMPARE(ReadAll(fake->IniPath()), before);
        QCOMPARE(form->RebuildCount(), rebuilds);
        QCOMPARE(form->ButtonsPerPage(), 21);
        QCOMPARE(form->RequestedCount(), 21);
        QVERIFY(!QApplication::overrideCursor()); // the hourglass is gone
        // and the bar still works: the same switch now succeeds
        form->Items().page.PButton16->trigger();
        QCOMPARE(form->ButtonsPerPage(), 16);
    }

    void closing_data() {
        QTest::addColumn<bool>("exitOptions");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QStringList>("requests");
        QTest::newRow("no exit options") << false << false << "" << true << QStringList();
        QTest::newRow("answered No") << true << false << "" << false << QStringList();
        QTest::newRow("menu dismissed") << true << true << "" << true << QStringList();
        QTest::newRow("exit only") << true << true << "Exit Orvane" << true << QStringList();
        QTest::newRow("shut down") << true << true << "Shut Down Computer" << true << QStringList{FakeSession::PowerOffRecord};
        QTest::newRow("restart") << true << true << "Restart Computer" << true << QStringList{FakeSession::RebootRecord};
    }
    void closing() {
        QFETCH(bool, exitOptions);
        QFETCH(bool, answer);
        QFETCH(QString, choice);
        if (exitOptions) {
            fake->WriteIni("[Location]\nTop=100\nLeft=40\nCheckExit=Yes\n");
            fake->dialogs.ExpectQuestion("Are you sure you want to exit?", answer);
            if (answer)
                fake->dialogs.ExpectPopup(choice);
        }
        auto form = Start();
        form->show();
        QTEST(form->close(), "closed");
        QTEST(fake->session.requests, "requests");
        if (exitOptions && answer)
            QCOMPARE(fake->dialogs.popupPositions.value(0), QPoint(form->x() + 250, form->y()));
    }

    void refusedShutdownIsShownAndTheBarStillEnds() {
        fake->WriteIni("[Location]\nTop=100\nCheckExit=Yes\n");
        fake->session.refusal = "Access denied";
        fake->dialogs.ExpectQuestion("exit", true);
        fake->dialogs.ExpectPopup("Shut Down Computer");
        fake->dialogs.ExpectMessage("Access denied");
        auto form = Start();
        form->show();
        QVERIFY(form->close());
    }

    void exitOptionsToggleIsStored() {
        auto form = Start();
        form->Items().setup.ConfirmExit1->trigger();
        QVERIFY(ReadAll(fake->IniPath()).contains("CheckExit=Yes"));
        form->Items().setup.ConfirmExit1->trigger();
        QVERIFY(ReadAll(fake->IniPath()).contains("CheckExit=No"));
    }

    void helpMode() {
        auto form = Start();
        form->show();
        QTest::mouseClick(form->HelpControl(), Qt::LeftButton);
        QCOMPARE(fake->help.topics, QList<int>{0});
        QTest::mousePress(form->HelpControl(), Qt::RightButton);
        QCOMPARE(form->Mode(), InteractionMode::Help);
        QTest::mouseClick(form->FindButton(1), Qt::LeftButton);
        QCOMPARE(form->Mode(), InteractionMode::Normal);
        QTest::mousePress(form->HelpControl(), Qt::RightButton);
        QTest::mouseClick(form->RunControl(), Qt::LeftButton);
        QTest::mousePress(form->HelpControl(), Qt::RightButton);
        QTest::mouseClick(form->Gauge(), Qt::LeftButton);
        QTest::mousePress(form->HelpControl(), Qt::RightButton);
        const QRect third = form->TabRow()->tabRect(2);
        QTest::mouseClick(form->TabRow(), Qt::LeftButton, {}, third.center());
        QCOMPARE(form->TabRow()->currentIndex(), 2); // the tab still changes
        QCOMPARE(fake->help.topics, (QList<int>{0, 5, 29, 2, 25}));
        QCOMPARE(form->Mode(), InteractionMode::Normal);
        // Outside help mode a tab click opens no help.
        QTest::mouseClick(form->TabRow(), Qt::LeftButton, {}, form->TabRow()->tabRect(1).center());
        QCOMPARE(fake->help.topics.size(), 5);
    }

    void locationIsSavedOnMovesButNotDuringStartup() {
        fake->WriteIni("[Location]\nTop=120\nLeft=40\n[Window]\nState=Norm\n");
        auto form = Start();
        const QByteArray before = ReadAll(fake->IniPath());
        QVERIFY(before.contains("Top=120"));
        form->show();
        // Until the window is first exposed the window manager is placing it: its moves are
        // not the user's.
        QVERIFY(!form->WindowPlaced());
        form->move(60, 70);
        QCOMPARE(ReadAll(fake->IniPath()), before);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(form->WindowPlaced());
        QCOMPARE(ReadAll(fake->IniPath()), before);
        // From then on, at once, they are.
        form->move(77, 88);
        const QByteArray after = ReadAll(fake->IniPath());
        QVERIFY(after.contains("Top=88"));
        QVERIFY(after.contains("Left=77"));
        QVERIFY(after.contains("State=Norm"));
    }

    void unusableProfileRefusesEveryWrite() {
        // The first writes come at start-up: the new installation's lockout data file, then the
        // import question's page size.
        fake->dialogs.ExpectError("Unable to write to " + fake->SettingsDirectory() + "OVa/b.DAT");
        fake->dialogs.ExpectError("Unable to write to " + fake->SettingsDirectory() + "OVa/b.INI");
        auto form = Start({"a/b"});
        fake->dialogs.ExpectError("Unable to write to " + fake->SettingsDirectory() + "OVa/b.INI");
        form->Items().setup.ConfirmExit1->trigger();
        QVERIFY(QDir(fake->SettingsDirectory()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
        QCOMPARE(form->TabRow()->count(), 20); // and the bar goes on
    }

    void sharedCopiesFollowEachOther() {
        FakeBusHub hub;
        FakePlatform a(&hub, {"/m", "Team"}), b(&hub, {"/m", "Team"});
        // Both copies use one settings directory, as two copies on one desktop do.
        b.arguments = a.arguments;
        Platform pa = a.Get(), pb = b.Get();
        pb.environment = pa.environment;
        a.WriteIni("[Location]\nTop=10\n[Pages]\nCount=3\n", "Team");
        TForm1 first(pa), second(pb);
        QCOMPARE(second.TabRow()->tabText(1), QString("Page2"));

        TNewIniFile(a.IniPath("Team")).WriteString("Tabs", "PageTab2", "Shared");
        first.PostReload();
        QTRY_COMPARE(second.TabRow()->tabText(1), QString("Shared"));
        QCOMPARE(first.TabRow()->tabText(1), QString("Shared")); // the sender reloads too

        // The 16/21 switch rebuilds every copy, once each.
        QCOMPARE(first.ButtonsPerPage(), 16);
        const int rebuildsA = first.RebuildCount(), rebuildsB = second.RebuildCount();
        first.Items().page.PButton21->trigger();
        QTRY_COMPARE(second.ButtonsPerPage(), 21);
        QTRY_COMPARE(first.ButtonsPerPage(), 21);
        QTest::qWait(50);
        QCOMPARE(first.RebuildCount(), rebuildsA + 1);
        QCOMPARE(second.RebuildCount(), rebuildsB + 1);
    }

    // A reload after another copy changed a button's record redraws that button only, and one
    // after no change none; a button drawn otherwise since (as a removal draws it empty) gets
    // its record back.
    void aReloadRedrawsOnlyWhatChanged() {
        FakeBusHub hub;
        FakePlatform a(&hub, {"/m", "T"});
        a.shell.iconCounts = {{"/bin/b", 1}};
        // The buttons without an icon get the "Default" marker on the first load.
        a.WriteIni("[Location]\nTop=10\nButtonCount=16\n[Pages]\nCount=2\n[Programs]\nSpeedButton1=/bin/a\n"
                   "SpeedButton2=/bin/b\nSpeedButton3=/bin/c\nSpeedButton17=/bin/d\n[Names]\nSpeedButton2=Bee\n",
                   "T");
        TForm1 form(a.Get());
        QVERIFY(form.FindButton(17)); // its page made too
        const auto reload = [&] {
            const int loads = form.LoadCount(), draws = form.DrawCount();
            a.bus->Post(form.ReloadMessageName(), 1, 0);
            [&] { QTRY_COMPARE(form.LoadCount(), loads + 1); }();
            return form.DrawCount() - draws;
        };
        TNewIniFile other(a.IniPath("T")); // another copy writes the file
        QCOMPARE(reload(), 0);
        other.WriteString("Names", "SpeedButton2", "Changed");
        QCOMPARE(reload(), 1);
        QCOMPARE(form.FindButton(2)->toolTip(), QString("Changed"));
        QCOMPARE(form.FindButton(1)->toolTip(), QString("a"));
        other.WriteString("Shrink", "SpeedButton17", "Yes");
        QCOMPARE(reload(), 1);
        QCOMPARE(form.FindButton(17)->property("Tag").toInt(), 1);

        form.IconVert(form.FindButton(3), ButtonRecord());
        QCOMPARE(reload(), 1);
        QCOMPARE(form.FindButton(3)->toolTip(), QString("c"));
        QVERIFY(!form.FindButton(3)->icon().isNull());
    }

    void requestsWaitWhileTheInlineBoxIsOpen() {
        FakeBusHub hub;
        FakePlatform a(&hub, {"/m", "T"});
        a.WriteIni("[Location]\nTop=10\n[Pages]\nCount=2\n", "T");
        TForm1 form(a.Get());
        form.show();
        form.InlineBox()->show();
        const int loads = form.LoadCount(), rebuilds = form.RebuildCount();
        a.bus->Post(form.ReloadMessageName(), 1, 0);
        a.bus->Post(form.RebuildMessageName(), 1, 0);
        a.bus->Post(form.ReloadMessageName(), 1, 0);
        QTest::qWait(150);
        QCOMPARE(form.LoadCount(), loads);
        QCOMPARE(form.RebuildCount(), rebuilds);
        form.InlineBox()->hide();
        QTRY_COMPARE(form.RebuildCount(), rebuilds + 1);
        QTest::qWait(150);
        // One rebuild, which loads every record; no separate reload.
        QCOMPARE(form.RebuildCount(), rebuilds + 1);
        QCOMPARE(form.LoadCount(), loads + 1);
        // Messages of other profiles and with another first parameter are not ours.
        a.bus->Post("UOrvaneOther", 1, 0);
        a.bus->Post(form.ReloadMessageName(), 0, 0);
        QTest::qWait(100);
        QCOMPARE(form.LoadCount(), loads + 1);
    }

    // Any number of requests that arrive before the bar gets to them cost one run: a flood of
    // reloads one Load, a burst of rebuilds (with reloads among them) one rebuild.
    void floodsOfRequestsCostOneRun_data() {
        QTest::addColumn<int>("reloads");
        QTest::addColumn<int>("rebuilds");
        QTest::newRow("reloads") << 1000 << 0;
        QTest::newRow("rebuilds") << 0 << 1000;
        QTest::newRow("both, interleaved") << 500 << 500;
    }
    void floodsOfRequestsCostOneRun() {
        QFETCH(int, reloads);
        QFETCH(int, rebuilds);
        FakeBusHub hub;
        FakePlatform a(&hub, {"/m", "T"});
        a.WriteIni("[Location]\nTop=10\n[Pages]\nCount=2\n", "T");
        TForm1 form(a.Get());
        const int loads = form.LoadCount(), rebuildsBefore = form.RebuildCount();
        for (int i = 0; i < qMax(reloads, rebuilds); ++i) {
            if (i < reloads)
                a.bus->Post(form.ReloadMessageName(), 1, 0);
            if (i < rebuilds)
                a.bus->Post(form.RebuildMessageName(), 1, 0);
        }
        QTRY_COMPARE(form.LoadCount(), loads + 1); // a rebuild loads every record
        QTest::qWait(100);
        QCOMPARE(form.LoadCount(), loads + 1);
        QCOMPARE(form.RebuildCount(), rebuildsBefore + (rebuilds > 0 ? 1 : 0));
    }

    // A rebuild frees the pages it replaces at once: rebuilds in a row, with no event loop
    // between them, leave the current buttons only.
    void rebuildsFreeWhatTheyReplace() {
        fake->WriteIni("[Location]\nTop=10\nButtonCount=16\n[Pages]\nCount=3\n");
        auto form = Start();
        const QPointer<QWidget> firstPage = form->PageArea()->widget(0);
        for (int i = 0; i < 3; ++i)
            form->PageUpdate();
        QVERIFY(firstPage.isNull());
        QCOMPARE(form->PageArea()->findChildren<QToolButton *>().size(), 16); // the page shown
        QCOMPARE(form->FindButton(17)->parentWidget(), form->PageArea()->widget(1));
    }

    // A page's buttons are made when it is first shown or one of them is asked for, with the
    // glyph, hint and tag of their records, as a page made at the start has them.
    void pagesAreMadeWhenFirstNeeded() {
        fake->WriteIni("[Location]\nTop=10\nButtonCount=16\n[Pages]\nCount=3\n"
                       "[Programs]\nSpeedButton1=/bin/a\nSpeedButton17=/bin/x\nSpeedButton33=/bin/y\n"
                       "[Names]\nSpeedButton1=First\nSpeedButton17=Ex\n[Shrink]\nSpeedButton17=No\n");
        auto form = Start();
        form->show();
        QVERIFY(form->PageArea()->widget(1)->findChildren<QToolButton *>().isEmpty());
        QCOMPARE(form->FindButton(1)->toolTip(), QString("First"));

        QToolButton *asked = form->FindButton("SpeedButton17");
        QVERIFY(asked);
        QCOMPARE(asked->parentWidget(), form->PageArea()->widget(1));
        QCOMPARE(asked->toolTip(), QString("Ex"));
        QCOMPARE(asked->property("Tag").toInt(), 0);
        QCOMPARE(form->PageArea()->widget(1)->findChildren<QToolButton *>().size(), 16);

        form->TabRow()->setCurrentIndex(2);
        QToolButton *shown =
            form->PageArea()->widget(2)->findChildren<QToolButton *>("SpeedButton33").value(0);
        QVERIFY(shown);
        QVERIFY(shown->isVisible());
        QCOMPARE(shown->property("Tag").toInt(), 100);
        QCOMPARE(form->FindButton(33), shown);
        QVERIFY(!form->FindButton("SpeedButtonX"));
        QVERIFY(!form->FindButton(49));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
