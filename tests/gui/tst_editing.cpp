// Arranging the bar with the mouse and the inline box, with a fake platform: moving, copying,
// removing and describing buttons; renaming, deleting, moving, adding and counting pages.
#include "FakePlatform.h"
#include "FileSizeLimit.h"
#include "app/Icons.h"
#include "components/Mru.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {
QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Three pages of 16; an editor on button 3 with a full record, a tool on button 17.
const QString kBar = "[Location]\nTop=100\nButtonCount=16\n[Pages]\nCount=3\n"
                     "[Tabs]\nPageTab1=One\nPageTab2=Two\nPageTab3=Three\n"
                     "[Programs]\nSpeedButton3=/usr/bin/gedit\nSpeedButton17=/usr/bin/tool\n"
                     "[Parameters]\nSpeedButton3=/tmp/notes.txt\n[Names]\nSpeedButton3=Editor\n"
                     "[Working]\nSpeedButton3=/tmp\n[Shrink]\nSpeedButton3=No\n"
                     "[SoundLaunch]\nSpeedButton3=/snd/go.wav\n";
} // namespace

class EditingTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;
    std::unique_ptr<TForm1> form;

    void Start(const QString &ini = kBar, const QStringList &arguments = {}) {
        fake->arguments = arguments;
        fake->WriteIni(ini, arguments.value(1));
        form = std::make_unique<TForm1>(fake->Get());
        form->show();
    }
    QString Value(const QString &section, const QString &key) {
        return TNewIniFile(fake->IniPath()).ReadString(section, key, "<none>");
    }
    ButtonRecord Record(int n) { return ReadButtonRecord(TNewIniFile(fake->IniPath()), n); }
    void RightClick(int number) {
        form->TabRow()->setCurrentIndex((number - 1) / 16);
        QTest::mousePress(form->FindButton(number), Qt::RightButton);
    }
    void Click(int number) {
        form->TabRow()->setCurrentIndex((number - 1) / 16);
        QTest::mouseClick(form->FindButton(number), Qt::LeftButton);
    }
    void RightClickTab(int index) {
        QTest::mousePress(form->TabRow(), Qt::RightButton, {},
                          form->TabRow()->tabRect(index).center());
    }
    void Type(const QString &text) {
        QVERIFY(form->InlineBox()->isVisible());
        QTest::keyClicks(form->InlineBox(), text);
        QTest::keyClick(form->InlineBox(), Qt::Key_Return);
    }

private slots:
    void init() { fake = std::make_unique<FakePlatform>(); }
    void cleanup() {
        form.reset();
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    void emptyButtonHasNoMenu() {
        Start();
        RightClick(4); // an unexpected popup would be reported by the fake
        QCOMPARE(form->CurrentButton(), QString("SpeedButton4"));
    }

    void menuShowsTheButtonsOptions() {
        Start();
        fake->dialogs.ExpectPopup("");
        RightClick(3);
        QVERIFY(form->Items().button.SelectWorkingDirectory1->isChecked());
        QVERIFY(!form->Items().button.SelectFiles1->isChecked());
        QVERIFY(form->Items().button.SoundLaunch1->isChecked());
        QVERIFY(!form->Items().button.ShrinkOnLaunch2->isChecked()); // "No" beats the global "Yes"
    }

    void moveToAnotherPage() {
        Start();
        const ButtonRecord before = Record(3);
        fake->dialogs.ExpectPopup("Move Button");
        RightClick(3);
        QCOMPARE(form->Mode(), InteractionMode::PlaceButton);
        QCOMPARE(Value("Programs", "SpeedButton3"), QString("<none>"));
        // A configured button takes nothing and launches nothing; a second move is refused.
        Click(17);
        QVERIFY(fake->processes.started.isEmpty());
        QCOMPARE(form->Mode(), InteractionMode::PlaceButton);
        Click(20);
        QCOMPARE(form->Mode(), InteractionMode::Normal);
        QCOMPARE(Record(20), before);
        QCOMPARE(Record(3), ButtonRecord());
        QCOMPARE(form->FindButton(20)->property("Tag").toInt(), 0); // the shrink tag follows
    }

    void moveRenamesTheRecentlyLaunchedEntry() {
        Start(kBar + "[MRU]\nCount=2\n1=tool  |17\n2=Editor  |3\n");
        fake->dialogs.ExpectPopup("Move Button");
        RightClick(3);
        Click(20);
        QCOMPARE(form->RecentList()->Items(), QStringList({"Editor  |20", "tool  |17"}));
        QVERIFY(form->RecentList()->Selected(0));
    }

    void copyKeepsTheSource() {
        Start();
        fake->dialogs.ExpectPopup("Copy Button");
        RightClick(3);
        RightClick(5); // a right press places too
        QCOMPARE(Record(5), Record(3));
        QCOMPARE(Value("Programs", "SpeedButton3"), QString("/usr/bin/gedit"));
    }

    void placingEraseTargetLeftovers() {
        Start(kBar + "[Select]\nSpeedButton6=/stale\n");
        fake->dialogs.ExpectPopup("Copy Button");
        RightClick(17);
        Click(6);
        QCOMPARE(Value("Programs", "SpeedButton6"), QString("/usr/bin/tool"));
        QCOMPARE(Value("Select", "SpeedButton6"), QString("<none>"));
    }

    void remove() {
        Start();
        fake->dialogs.ExpectPopup("Remove Button");
        RightClick(3);
        QCOMPARE(Record(3), ButtonRecord());
        QCOMPARE(form->Mode(), InteractionMode::Normal);
    }

    void closingPutsAWaitingMoveBack_data() {
        QTest::addColumn<bool>("sourceFilled");
        QTest::addColumn<int>("target");
        QTest::newRow("back on its source") << false << 3;
        QTest::newRow("source filled meanwhile") << true << 1;
    }
    void closingPutsAWaitingMoveBack() {
        QFETCH(bool, sourceFilled);
        Start();
        const ButtonRecord before = Record(3);
        fake->dialogs.ExpectPopup("Move Button");
        RightClick(3);
        if (sourceFilled)
            TNewIniFile(fake->IniPath()).WriteString("Programs", "SpeedButton3", "/usr/bin/other");
        QVERIFY(form->close());
        QFETCH(int, target);
        QCOMPARE(Record(target), before);
    }

    void aRebuildWhileAMoveWaitsLosesNothing() {
        Start();
        const ButtonRecord before = Record(3);
        fake->dialogs.ExpectPopup("Move Button");
        RightClick(3);
        form->PageUpdate(); // as another copy's rebuild request would
        QVERIFY(form->close());
        QCOMPARE(Record(3), before);
    }

    void describeAndParameter() {
        Start();
        fake->dialogs.ExpectPopup("Change Description");
        RightClick(3);
        QCOMPARE(form->InlineBox()->toolTip(), QString("Enter New Description"));
        Type("My editor");
        QCOMPARE(Value("Names", "SpeedButton3"), QString("My editor"));
        QVERIFY(!form->InlineBox()->isVisible());

        form->Items().button.ChangeParameter1->trigger();
        QCOMPARE(form->InlineBox()->text(), QString("/tmp/notes.txt"));
        form->InlineBox()->clear();
        Type("*");
        QCOMPARE(Value("Parameters", "SpeedButton3"), QString(""));

        form->Items().button.ChangeParameter1->trigger(); // Escape changes nothing
        QTest::keyClick(form->InlineBox(), Qt::Key_Escape);
        QVERIFY(!form->InlineBox()->isVisible());

        RightClick(4); // an empty button: no menu, and no box
        form->Items().button.ChangeDescription1->trigger();
        QVERIFY(!form->InlineBox()->isVisible());
    }

    // The box stays open when a click on a launch button takes the keys back to the bar; the
    // arrows then select other buttons. What is typed afterwards still belongs to the button
    // the box was opened for.
    void theBoxKeepsItsButton_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("section");
        QTest::newRow("description") << "ChangeDescription1" << "Names";
        QTest::newRow("parameter") << "ChangeParameter1" << "Parameters";
    }
    void theBoxKeepsItsButton() {
        QFETCH(QString, item);
        QFETCH(QString, section);
        Start(QString(kBar).replace(
            "[Programs]\n", "[Programs]\nSpeedButton1=/usr/bin/one\nSpeedButton2=/usr/bin/two\n"));
        fake->dialogs.ExpectPopup(item == "ChangeDescription1" ? "Change Description"
                                                               : "Change Parameter");
        RightClick(3);
        QVERIFY(form->InlineBox()->isVisible());
        Click(17); // launches, the keys go back to the bar
        QVERIFY(form->InlineBox()->isVisible());
        form->TabRow()->setCurrentIndex(0);
        form->KeysKeyDown(Qt::Key_Right);
        form->KeysKeyDown(Qt::Key_Right);
        QCOMPARE(form->CurrentButton(), QString("SpeedButton2"));
        form->InlineBox()->setFocus();
        form->InlineBox()->clear();
        Type("typed for three");
        QCOMPARE(Value(section, "SpeedButton3"), QString("typed for three"));
        QCOMPARE(Value(section, "SpeedButton2"), QString("<none>"));
        QCOMPARE(form->FindButton(2)->toolTip(), QString("two"));
    }

    void awkwardTypedText_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("equals and brackets") << "a=b [c] ;d" << "a=b [c] ;d";
        QTest::newRow("quotes and tab") << "say \"hi\"\tthere 'x'" << "say \"hi\"\tthere 'x'";
        QTest::newRow("very long") << QString(5000, 'n') << QString(1023, 'n');
    }
    void awkwardTypedText() {
        QFETCH(QString, typed);
        Start();
        fake->dialogs.ExpectPopup("Change Description");
        RightClick(3);
        form->InlineBox()->setText(typed); // as pasted: the box itself keeps it to what the file holds
        QTest::keyClick(form->InlineBox(), Qt::Key_Return);
        QTEST(Value("Names", "SpeedButton3"), "stored");
        // Nothing else in the file moved: the record's other values read back as before.
        QCOMPARE(Value("Programs", "SpeedButton3"), QString("/usr/bin/gedit"));
        QCOMPARE(Value("Programs", "SpeedButton17"), QString("/usr/bin/tool"));
    }

    void renamePage() {
        Start();
        fake->dialogs.ExpectPopup("Rename Page");
        RightClickTab(1);
        QCOMPARE(form->TabRow()->currentIndex(), 1);
        QCOMPARE(form->PageNameMode(), InlineBoxMode::Tab);
        QCOMPARE(form->TabRow()->selectedColor(), QColor(255, 0, 0));
        Type("Games");
        QCOMPARE(Value("Tabs", "PageTab2"), QString("Games"));
        QCOMPARE(form->TabRow()->tabText(1), QString("Games"));
        QCOMPARE(form->TabRow()->selectedColor(), form->StoredSelectedColor());
    }

    void deletePage_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("confirmed") << true;
        QTest::newRow("refused") << false;
    }
    void deletePage() {
        QFETCH(bool, yes);
        Start();
        const QByteArray before = ReadAll(fake->IniPath());
        fake->dialogs.ExpectPopup("Delete Page");
        fake->dialogs.ExpectQuestion("Are you sure you want to Delete the \"One\" Page?", yes);
        RightClickTab(0);
        if (!yes) {
            QCOMPARE(ReadAll(fake->IniPath()), before);
            return;
        }
        QCOMPARE(form->TabNames(), QStringList({"Two", "Three"}));
        QCOMPARE(Value("Programs", "SpeedButton1"), QString("/usr/bin/tool"));
        QCOMPARE(Value("Programs", "SpeedButton3"), QString("<none>"));
    }

    void movePageInFrontOfAnother() {
        Start();
        fake->dialogs.ExpectPopup("Move Page");
        fake->dialogs.ExpectQuestion("Move the \"One\" Page", true);
        RightClickTab(0);
        QCOMPARE(form->Mode(), InteractionMode::MovePage);
        QCOMPARE(form->TabNames(), QStringList({"Two", "Three"}));
        // While it waits, neither delete nor move acts (no question is asked).
        form->Items().page.DeletePage1->trigger();
        form->Items().page.MovePage1->trigger();
        QCOMPARE(form->Mode(), InteractionMode::MovePage);
        RightClickTab(1); // in page-move mode a right click puts the page there
        QCOMPARE(form->Mode(), InteractionMode::Normal);
        QCOMPARE(form->TabNames(), QStringList({"Two", "One", "Three"}));
        QCOMPARE(Value("Programs", "SpeedButton19"), QString("/usr/bin/gedit"));
        QCOMPARE(Value("Names", "SpeedButton19"), QString("Editor"));
        QCOMPARE(form->TabRow()->currentIndex(), 1);
    }

    // The application-wide cursor shows the mode while it lasts, whatever long work (under the
    // hourglass) entered it, and nothing is left of it afterwards.
    void cursorShowsTheMode_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("shape");
        QTest::newRow("help") << "help" << int(Qt::UpArrowCursor);
        QTest::newRow("placing a move") << "move button" << int(Qt::DragMoveCursor);
        QTest::newRow("placing a copy") << "copy button" << int(Qt::DragMoveCursor);
        QTest::newRow("moving a page") << "move page" << int(Qt::DragCopyCursor);
    }
    void cursorShowsTheMode() {
        QFETCH(QString, mode);
        QFETCH(int, shape);
        Start();
        QVERIFY(!QApplication::overrideCursor());
        if (mode == "help") {
            QTest::mousePress(form->HelpControl(), Qt::RightButton);
        } else if (mode == "move page") {
            fake->dialogs.ExpectPopup("Move Page");
            fake->dialogs.ExpectQuestion("Move", true);
            RightClickTab(1);
        } else {
            fake->dialogs.ExpectPopup(mode == "move button" ? "Move Button" : "Copy Button");
            RightClick(3);
        }
        QVERIFY(form->Mode() != InteractionMode::Normal);
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(int(QApplication::overrideCursor()->shape()), shape);
        QTest::keyClick(form->KeyBox(), Qt::Key_Escape); // help mode ends with its next click
        if (mode == "help")
            QTest::mouseClick(form->FindButton(4), Qt::LeftButton);
        QCOMPARE(form->Mode(), InteractionMode::Normal);
        QVERIFY(!QApplication::overrideCursor());
    }

    void closingPutsAWaitingPageBack() {
        Start();
        fake->dialogs.ExpectPopup("Move Page");
        fake->dialogs.ExpectQuestion("Move", true);
        RightClickTab(1);
        QVERIFY(form->close());
        TForm1 again(fake->Get());
        QCOMPARE(again.TabNames(), QStringList({"One", "Two", "Three"}));
        QCOMPARE(Value("Programs", "SpeedButton17"), QString("/usr/bin/tool"));
    }

    void addPageAndCount() {
        Start();
        fake->dialogs.ExpectPopup("Add Page");
        RightClickTab(0);
        QCOMPARE(form->TabNames(), QStringList({"Page 1", "One", "Two", "Three"}));
        QCOMPARE(Value("Programs", "SpeedButton19"), QString("/usr/bin/gedit"));

        fake->dialogs.ExpectPopup("Change Total Page Count");
        RightClickTab(0);
        Type("12abc");
        QCOMPARE(form->TabRow()->count(), 12);
        QCOMPARE(Value("Pages", "Count"), QString("12"));
    }

    void rightClickWhereNoTabLies() {
        Start();
        fake->dialogs.ExpectPopup("Rename Page");
        QTest::mousePress(form->TabRow(), Qt::RightButton, {},
                          QPoint(form->TabRow()->width() - 40, 9));
        QVERIFY(!form->InlineBoxOpen()); // no page to rename
        fake->dialogs.ExpectPopup("Add Page");
        QTest::mousePress(form->TabRow(), Qt::RightButton, {},
                          QPoint(form->TabRow()->width() - 40, 9));
        QCOMPARE(form->TabNames().value(0), QString("Page 1")); // inserted first
    }

    void refusedPageDeleteChangesNothing() {
        Start();
        const QByteArray before = ReadAll(fake->IniPath());
        const int rebuilds = form->RebuildCount();
        fake->dialogs.ExpectPopup("Delete Page");
        fake->dialogs.ExpectQuestion("Delete", true);
        fake->dialogs.ExpectError("Unable to write to " + fake->IniPath());
        {
            const FileSizeLimit full(16);
            RightClickTab(0);
        }
        QCOMPARE(ReadAll(fake->IniPath()), before);
        QCOMPARE(form->RebuildCount(), rebuilds);
        QVERIFY(!QApplication::overrideCursor());
    }

    void aMoveInOneCopyRedrawsTheOther() {
        FakeBusHub hub;
        FakePlatform a(&hub, {"/m", "T"}), b(&hub, {"/m", "T"});
        a.WriteIni(kBar, "T");
        Platform pb = b.Get();
        pb.environment = a.Get().environment;
        TForm1 first(a.Get()), second(pb);
        first.show();
        a.dialogs.ExpectPopup("Move Button");
        QTest::mousePress(first.FindButton(3), Qt::RightButton);
        QTest::mousePress(first.FindButton(5), Qt::RightButton); // places the held button
        QTRY_COMPARE(second.FindButton(5)->property("Tag").toInt(), 0);
        QVERIFY2(a.dialogs.Unmet().isEmpty(), qPrintable(a.dialogs.Unmet()));
    }
};

QTEST_MAIN(EditingTest)
#include "tst_editing.moc"
