// Clicking launch buttons with a fake platform: choosing a program for an empty button,
// launching with chosen files and directories, sounds, failures, the run button.
#include "FakePlatform.h"
#include "ProgramValues.h"
#include "app/Icons.h"
#include "components/Mru.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

class ButtonClickTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;
    std::unique_ptr<TForm1> form;
    QTemporaryDir programs; // where the stored program values' programs live

    void Start(const QString &ini) {
        fake->WriteIni("[Location]\nTop=100\nButtonCount=16\n[Pages]\nCount=2\n" + ini);
        form = std::make_unique<TForm1>(fake->Get());
    }
    QString Value(const QString &section, const QString &key) {
        return TNewIniFile(fake->IniPath()).ReadString(section, key, "<none>");
    }
    void Click(int number) { QTest::mouseClick(form->FindButton(number), Qt::LeftButton); }

private slots:
    void init() { fake = std::make_unique<FakePlatform>(); }
    void cleanup() {
        form.reset();
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    void emptyButtonGetsAProgramAndStartsNothing_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("parameter");
        QTest::newRow("a program") << "/usr/bin/gedit" << "/usr/bin/gedit" << "";
        QTest::newRow("a document") << "/home/u/My Letter.txt" << "/usr/bin/gedit"
                                    << "'/home/u/My Letter.txt'";
    }
    void emptyButtonGetsAProgramAndStartsNothing() {
        QFETCH(QString, chosen);
        Start("");
        fake->shell.associations = {{"/usr/bin/gedit", "/usr/bin/gedit"}, {"/home/u/My Letter.txt", "/usr/bin/gedit"}};
        fake->shell.iconCounts = {{"/usr/bin/gedit", 1}};
        fake->dialogs.ExpectOpenFiles({chosen});
        Click(3);
        QTEST(Value("Programs", "SpeedButton3"), "program");
        QTEST(Value("Parameters", "SpeedButton3"), "parameter");
        QVERIFY(fake->processes.started.isEmpty());
    }

    void emptyButtonRefusals_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("message");
        QTest::newRow("no association") << "/tmp/x.unknown" << "No program is known to open";
        QTest::newRow("line break") << "/tmp/a\nb" << "line break";
    }
    void emptyButtonRefusals() {
        QFETCH(QString, chosen);
        QFETCH(QString, message);
        Start("");
        fake->shell.associations = {{"/tmp/a\nb", "/usr/bin/gedit"}};
        fake->dialogs.ExpectOpenFiles({chosen});
        fake->dialogs.ExpectMessage(message);
        Click(3);
        QCOMPARE(Value("Programs", "SpeedButton3"), QString("<none>"));
    }

    // A shortcut chosen for an empty button is followed as a dropped one is: its command line
    // and icon, never the shortcut file as the program's parameter.
    void emptyButtonGetsAShortcutsProgram() {
        const QString lnk = QStringLiteral(ORVANE_TESTDATA_DIR) + "/lnk/testWinXpNotepadIconTree.lnk";
        if (!QFile::exists(lnk))
            QSKIP("the shared shortcut files are not here");
        // A Wine prefix whose drive C: holds the shortcut's target.
        QTemporaryDir wine;
        QVERIFY(QDir(wine.path()).mkpath("drive_c/WINDOWS/system32") && QDir(wine.path()).mkpath("dosdevices"));
        QVERIFY(QFile::link("../drive_c", wine.filePath("dosdevices/c:")));
        const QString target = QFileInfo(wine.filePath("drive_c/WINDOWS/system32")).canonicalFilePath() + "/notepad.exe";
        QVERIFY(QFile(target).open(QIODevice::WriteOnly));
        qputenv("WINEPREFIX", QFile::encodeName(wine.path()));
        QTemporaryDir dir;
        const QString desktop = WriteEditorEntry(dir.path());
        QVERIFY(!desktop.isEmpty());

        Start("");
        fake->shell.associations = {{desktop, "/usr/bin/gedit --new-window"}, {target, "/usr/bin/wine"},
                                    {lnk, "/usr/bin/wine"}};
        fake->shell.iconCounts = {{"/usr/bin/gedit", 1}, {"/usr/bin/wine", 1}};
        fake->dialogs.ExpectOpenFiles({desktop});
        fake->dialogs.ExpectOpenFiles({lnk});
        Click(3);
        Click(4);
        qunsetenv("WINEPREFIX");
        QCOMPARE(Value("Programs", "SpeedButton3"), QString("/usr/bin/gedit --new-window"));
        QCOMPARE(Value("Parameters", "SpeedButton3"), QString(""));
        QCOMPARE(Value("Icons", "SpeedButton3"), desktop);
        QCOMPARE(form->FindButton(3)->toolTip(), QString("gedit"));
        QCOMPARE(Value("Programs", "SpeedButton4"), QString("/usr/bin/wine"));
        QCOMPARE(Value("Parameters", "SpeedButton4"), target);
        // The icon location goes through the Wine prefix as the target does.
        QCOMPARE(Value("Icons", "SpeedButton4"), QFileInfo(target).path() + "/shell32.dll");
        QCOMPARE(Value("IconSelection", "SpeedButton4"), QString("41"));
        QVERIFY(fake->processes.started.isEmpty());
    }

    // A desktop entry given to the bar each way it can be: chosen for an empty button, dropped
    // on one, chosen in "Run a Program". One that needs a terminal the machine lacks is refused
    // with the shell's reason (never stored or started as its bare program); one with a Path
    // starts there, and a button keeps it as its working directory.
    void desktopEntryEveryWay_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("needsTerminal");
        for (const char *way : {"empty button", "drop", "run button"}) {
            QTest::addRow("%s: needs a terminal", way) << way << true;
            QTest::addRow("%s: with a Path", way) << way << false;
        }
    }
    void desktopEntryEveryWay() {
        QFETCH(QString, way);
        QFETCH(bool, needsTerminal);
        QTemporaryDir dir;
        const QString work = dir.filePath("wine prefix/drive_c/App");
        QVERIFY(QDir().mkpath(work));
        const QString desktop = dir.filePath("tool.desktop");
        QFile entry(desktop);
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Tool\nExec=/usr/bin/tool --x\n" +
                    (needsTerminal ? QByteArray("Terminal=true\n")
                                   : "Path=" + QFile::encodeName(work) + "\n"));
        entry.close();
        const QString reason = "\"Tool\" runs in a terminal, and no terminal program is installed.";
        Start("");
        // As the real shell: the program alone is its own command line.
        fake->shell.associations = {{"/usr/bin/tool", "/usr/bin/tool"}};
        if (needsTerminal)
            fake->shell.refusals = {{desktop, reason}};
        else
            fake->shell.associations.insert(desktop, "/usr/bin/tool --x");
        if (way != "drop")
            fake->dialogs.ExpectOpenFiles({desktop});
        if (needsTerminal)
            fake->dialogs.ExpectMessage(reason);
        if (way == "empty button")
            Click(3);
        else if (way == "drop")
            form->DropFiles({desktop}, 3);
        else
            QTest::mouseClick(form->RunControl(), Qt::LeftButton);
        const bool button = way != "run button";
        QCOMPARE(Value("Programs", "SpeedButton3"),
                 QString(needsTerminal || !button ? "<none>" : "/usr/bin/tool --x"));
        QCOMPARE(Value("Working", "SpeedButton3"),
                 needsTerminal || !button ? "<none>" : "'" + work + "'");
        if (needsTerminal || button) {
            QVERIFY(fake->processes.started.isEmpty());
            return;
        }
        QCOMPARE(fake->processes.started.value(0).commandLine, QString("/usr/bin/tool --x"));
        QCOMPARE(fake->processes.started.value(0).directory, work);
    }

    void cancelledChoiceChangesNothing() {
        Start("");
        fake->dialogs.ExpectOpenFiles({});
        Click(1);
        QVERIFY(!QFile::exists(fake->IniPath() + ".tmp"));
        QCOMPARE(Value("Programs", "SpeedButton1"), QString("<none>"));
    }

    void configuredButtonLaunches() {
        QTemporaryDir work;
        Start("[Programs]\nSpeedButton2=/usr/bin/gedit\n[Parameters]\nSpeedButton2=/tmp/notes.txt\n"
              "[Working]\nSpeedButton2=" + work.path() + "\n[Names]\nSpeedButton2=Editor\n"
              "[SoundLaunch]\nSpeedButton2=/snd/go.wav\n");
        Click(2);
        QCOMPARE(fake->processes.started.size(), 1);
        QCOMPARE(fake->processes.started[0].commandLine, QString("/usr/bin/gedit /tmp/notes.txt"));
        QCOMPARE(fake->processes.started[0].directory, work.path());
        QCOMPARE(fake->sound.played.size(), 1);
        QCOMPARE(fake->sound.played[0].file, QString("/snd/go.wav"));
        QVERIFY(!fake->sound.played[0].asynchronous);
        QVERIFY(!fake->sound.played[0].useDefault);
        QCOMPARE(form->Launching().lastEntry, QString("Editor  |2"));
        QCOMPARE(form->Launching().button, 2);
        QCOMPARE(form->Launching().shrink, YesNoOption(false));
    }

    // The launched button is dimmed while its program starts: until the program's first
    // window, or its end; two starts from one button keep it pressed until both are over.
    void startingFace_data() {
        QTest::addColumn<QStringList>("events"); // "launch", "window N", "end N" (N: the Nth start)
        QTest::addColumn<QList<bool>>("dimmed"); // the button's face after each event
        QTest::newRow("the first window ends it") << QStringList{"launch", "window 1"} << QList<bool>{true, false};
        QTest::newRow("the end ends it") << QStringList{"launch", "end 1"} << QList<bool>{true, false};
        QTest::newRow("a window, then the end") << QStringList{"launch", "window 1", "end 1"}
                                                << QList<bool>{true, false, false};
        QTest::newRow("two starts") << QStringList{"launch", "launch", "window 1", "window 2"}
                                    << QList<bool>{true, true, true, false};
    }
    void startingFace() {
        QFETCH(QStringList, events);
        QFETCH(QList<bool>, dimmed);
        Start("[Programs]\nSpeedButton2=/usr/bin/gedit\n");
        form->show();
        QList<qint64> handles;
        for (int i = 0; i < events.size(); ++i) {
            const QStringList words = events[i].split(' ');
            if (words[0] == "launch") {
                Click(2);
                handles << fake->processes.running.last();
            } else if (words[0] == "window") {
                fake->processes.FinishStart(handles[words[1].toInt() - 1]);
            } else {
                fake->processes.End(handles[words[1].toInt() - 1]);
            }
            QCoreApplication::processEvents(); // the face changes after the notification
            QVERIFY2((form->FindButton(2)->graphicsEffect() != nullptr) == dimmed[i], qPrintable(events[i]));
            QVERIFY(!form->FindButton(3)->graphicsEffect());
        }
    }

    void withoutWorkingDirectoryTheProgramsOwnIsUsed() {
        QTemporaryDir bin;
        Start("[Programs]\nSpeedButton1=" + bin.path() + "/tool\n");
        Click(1);
        QCOMPARE(fake->processes.started.value(0).directory, bin.path() + "/");
        QCOMPARE(form->Launching().lastEntry, QString("tool  |1"));
    }

    // A stored program value is a command line: the program starts in its own file's
    // directory (not in the previous launch's), and the launch is recorded by that file's
    // name, from a click and from the recently launched list.
    void programValues_data() { programvalues::AddRows(programs.path()); }
    void programValues() {
        QFETCH(QString, stored);
        QFETCH(QString, file);
        QFETCH(QString, directory);
        QFETCH(QString, shortName);
        QVERIFY(QDir().mkpath(directory));
        QTemporaryDir previous;
        Start("[Programs]\nSpeedButton1=" + stored + "\n");
        fake->processes.current = previous.path();
        Click(1);
        QCOMPARE(fake->processes.started.value(0).directory, directory);
        QCOMPARE(fake->processes.started.value(0).words.value(0), file);
        QCOMPARE(form->Launching().lastEntry, shortName + "  |1");
        QCOMPARE(form->RecentList()->Items(), QStringList{shortName + "  |1"});

        fake->processes.current = previous.path();
        form->RecentList()->MenuItems().value(0)->trigger();
        QCOMPARE(fake->processes.started.value(1).directory, directory);
        QCOMPARE(form->RecentList()->Items(), QStringList{shortName + "  |1"});
    }

    // Parameters reach the program whole: words led by "#" are words, and a value with a NUL
    // is refused with a message, leaving the bar and the list as they were.
    void parametersPassWholeOrNotAtAll_data() {
        QTest::addColumn<QString>("parameter");
        QTest::addColumn<QStringList>("words"); // empty: refused
        QTest::addColumn<QString>("message");
        QTest::newRow("typed #1") << "#1 x" << QStringList{"/usr/bin/tool", "#1", "x"} << "";
        QTest::newRow("file #draft.txt") << "'/d/#draft.txt' #draft.txt"
                                         << QStringList{"/usr/bin/tool", "/d/#draft.txt", "#draft.txt"} << "";
        QTest::newRow("NUL") << QString("a") + QChar(0) + "b" << QStringList{}
                             << QString("Could not start \"/usr/bin/tool a") + QChar(0x2400) + "b\": the command line holds a NUL character";
    }
    void parametersPassWholeOrNotAtAll() {
        QFETCH(QString, parameter);
        QFETCH(QStringList, words);
        QFETCH(QString, message);
        Start("[Programs]\nSpeedButton1=/usr/bin/tool\n[Parameters]\nSpeedButton1=" + parameter +
              "\n[Shrink]\nSpeedButton1=Yes\n");
        QCOMPARE(Value("Parameters", "SpeedButton1"), parameter);
        if (!message.isEmpty())
            fake->dialogs.ExpectError(message);
        Click(1);
        QCOMPARE(fake->processes.started.value(0).words, words);
        QCOMPARE(form->RecentList()->Items().isEmpty(), words.isEmpty());
        QCOMPARE(form->Launching().shrink, YesNoOption(false));
    }

    void filesChosenAtLaunch() {
        Start("[Programs]\nSpeedButton4=/usr/bin/gedit\n[Parameters]\nSpeedButton4=ignored\n"
              "[Select]\nSpeedButton4=/docs\n");
        fake->dialogs.ExpectOpenFiles({"/docs/A.TXT", "/docs/B C.TXT"});
        Click(4);
        QCOMPARE(fake->processes.started.value(0).commandLine,
                 QString("/usr/bin/gedit  /docs/A.TXT '/docs/B C.TXT'"));
    }

    void cancelledFileChoiceAbandonsTheLaunch() {
        Start("[Programs]\nSpeedButton4=/usr/bin/gedit\n[Select]\nSpeedButton4=/docs\n"
              "[SoundLaunch]\nSpeedButton4=/snd/go.wav\n[Shrink]\nSpeedButton4=Yes\n");
        fake->dialogs.ExpectOpenFiles({});
        Click(4);
        QVERIFY(fake->processes.started.isEmpty());
        QVERIFY(fake->sound.played.isEmpty());
        QVERIFY(form->Launching().lastEntry.isEmpty());
        QCOMPARE(form->Launching().shrink, YesNoOption(false));
    }

    void programThatCannotStart() {
        Start("[Programs]\nSpeedButton1=/nowhere/tool\n");
        fake->processes.failWith = "No such file or directory";
        fake->dialogs.ExpectError("Could not start \"/nowhere/tool\": No such file or directory");
        Click(1);
        QVERIFY(form->Launching().lastEntry.isEmpty());
        QCOMPARE(form->WatchedProcess(), qint64(0));
    }

    void noLaunchWhileAPageIsRenamed() {
        Start("[Programs]\nSpeedButton1=/usr/bin/gedit\n");
        form->TabRow()->setSelectedColor(QColor(255, 0, 0));
        Click(1);
        QVERIFY(fake->processes.started.isEmpty());
    }

    void runButton() {
        QTemporaryDir dir;
        Start("[Names]\nSpeedButton1=Stale\n");
        fake->dialogs.ExpectOpenFiles({dir.path() + "/my tool"});
        QTest::mouseClick(form->RunControl(), Qt::LeftButton);
        QCOMPARE(fake->processes.started.value(0).commandLine, "'" + dir.path() + "/my tool'");
        QCOMPARE(fake->processes.started.value(0).directory, dir.path() + "/");
        QVERIFY(form->Launching().lastEntry.isEmpty()); // belongs to no button
    }

    // The program dialog offers desktop entries among the programs: one chosen there starts
    // its application, not the entry file itself.
    void runButtonStartsADesktopEntry() {
        QTemporaryDir dir;
        const QString desktop = WriteEditorEntry(dir.path());
        QVERIFY(!desktop.isEmpty());
        Start("");
        fake->shell.associations = {{desktop, "/usr/bin/gedit --new-window"}};
        fake->dialogs.ExpectOpenFiles({desktop});
        QTest::mouseClick(form->RunControl(), Qt::LeftButton);
        QCOMPARE(fake->processes.started.value(0).commandLine,
                 QString("/usr/bin/gedit --new-window"));
    }

    void launchDirectories_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("section");
        QTest::newRow("files") << "SelectFiles1" << "Select";
        QTest::newRow("working") << "SelectWorkingDirectory1" << "Working";
    }
    void launchDirectories() {
        QFETCH(QString, item);
        QFETCH(QString, section);
        Start("[Programs]\nSpeedButton5=/usr/bin/gedit\n");
        for (int i = 0; i < 5; ++i) // the keys choose the button the menu acts on
            form->KeysKeyDown(Qt::Key_Right);
        QCOMPARE(form->CurrentButton(), QString("SpeedButton5"));
        QTemporaryDir home;
        const QString typed = home.path() + "/My Docs";
        // A directory typed that does not exist is made after the question.
        fake->dialogs.ExpectDirectory(typed);
        fake->dialogs.ExpectQuestion("The specified directory does not exist. Create it?", true);
        form->findChild<QAction *>(item)->trigger();
        QVERIFY(QFileInfo(typed).isDir());
        QCOMPARE(Value(section, "SpeedButton5"), "'" + typed + "'");
        form->findChild<QAction *>(item)->trigger(); // ticked: switches it off, no dialog
        QCOMPARE(Value(section, "SpeedButton5"), QString(""));
        fake->dialogs.ExpectDirectory(home.path() + "/Not Made");
        fake->dialogs.ExpectQuestion("does not exist", false); // refused: nothing stored
        form->findChild<QAction *>(item)->trigger();
        QVERIFY(!QFileInfo::exists(home.path() + "/Not Made"));
        QCOMPARE(Value(section, "SpeedButton5"), QString(""));
    }

    void recentlyLaunchedList() {
        Start("[Programs]\nSpeedButton3=/usr/bin/gedit\nSpeedButton5=/usr/bin/tool\n"
              "[Parameters]\nSpeedButton3=/tmp/a.txt\n[Names]\nSpeedButton3=Editor\n");
        Click(3);
        Click(5);
        Click(3);
        QCOMPARE(form->RecentList()->Items(), QStringList({"Editor  |3", "tool  |5"}));
        QVERIFY(form->RecentList()->Selected(0));
        QVERIFY(!form->RecentList()->Selected(1));
        // Saved after each change, not only at the end.
        QCOMPARE(Value("MRU", "Count"), QString("2"));
        QCOMPARE(Value("MRU", "1"), QString("Editor  |3"));

        // A click in the list relaunches the button without its trailing blank.
        fake->processes.started.clear();
        form->RecentList()->MenuItems().value(1)->trigger();
        QCOMPARE(fake->processes.started.value(0).commandLine, QString("/usr/bin/tool "));
        QCOMPARE(form->RecentList()->Items().value(0), QString("tool  |5"));
        QCOMPARE(form->Launching().captionCut, 4);
    }

    // An entry whose button cannot be started names the button and why; the list is left
    // exactly as it was, order and marks alike.
    void entryThatCannotStart_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("failWith");
        QTest::addColumn<QString>("message");
        QTest::newRow("button emptied") << 1 << "" << "Could not start \"Editor  |3\": button 3 is empty.";
        QTest::newRow("program missing") << 0 << "No such file or directory"
                                         << "Could not start \"/gone/tool\": No such file or directory";
    }
    void entryThatCannotStart() {
        QFETCH(int, entry);
        QFETCH(QString, failWith);
        QFETCH(QString, message);
        Start("[MRU]\nCount=2\n1=tool  |5\n2=Editor  |3\n[Programs]\nSpeedButton5=/gone/tool\n"
              "SpeedButton6=/usr/bin/other\n");
        Click(6); // marks its own entry
        const QStringList before = form->RecentList()->Items();
        const QByteArray saved = Value("MRU", "Count").toUtf8() + Value("MRU", "1").toUtf8();
        fake->processes.failWith = failWith;
        fake->dialogs.ExpectError(message);
        form->RecentList()
            ->MenuItems()
            .value(before.indexOf(entry ? "Editor  |3" : "tool  |5"))
            ->trigger();
        QCOMPARE(fake->processes.started.size(), 1);
        QCOMPARE(form->RecentList()->Items(), before);
        for (int i = 0; i < before.size(); ++i)
            QCOMPARE(form->RecentList()->Selected(i), i == 0);
        QCOMPARE(form->Launching().lastEntry, QString("other  |6"));
        QCOMPARE(Value("MRU", "Count").toUtf8() + Value("MRU", "1").toUtf8(), saved);
    }

    void handEditedEntry() {
        Start("[MRU]\nCount=1\n1=Editor  |x12\n[Programs]\nSpeedButton12=/usr/bin/gedit\n");
        fake->dialogs.ExpectError("'x12' is not a valid integer value");
        form->RecentList()->MenuItems().value(0)->trigger();
        QVERIFY(fake->processes.started.isEmpty());
    }

    void menuSwitchIsStored() {
        Start("");
        form->Items().setup.LastLaunched->trigger();
        QCOMPARE(form->GaugeMenu(), form->RecentMenu());
        QCOMPARE(form->TrayMenu(), form->RecentMenu());
        QCOMPARE(Value("Menu", "Show"), QString("Launched"));
        form.reset();
        form = std::make_unique<TForm1>(fake->Get());
        QCOMPARE(form->GaugeMenu(), form->RecentMenu());
        form->Items().recent.MRU1->trigger();
        QCOMPARE(form->GaugeMenu(), form->SetupMenu());
        QCOMPARE(Value("Menu", "Show"), QString("Setup"));
    }

    void sounds() {
        Start("[Programs]\nSpeedButton5=/usr/bin/gedit\n");
        for (int i = 0; i < 5; ++i) // the keys choose the button the menu acts on
            form->KeysKeyDown(Qt::Key_Right);
        QCOMPARE(form->CurrentButton(), QString("SpeedButton5"));
        fake->dialogs.ExpectOpenFiles({"/media/ding.wav"});
        form->Items().button.SoundLaunch1->trigger();
        QCOMPARE(Value("SoundLaunch", "SpeedButton5"), QString("/media/ding.wav"));
        form->Items().button.SoundLaunch1->trigger();
        QCOMPARE(Value("SoundLaunch", "SpeedButton5"), QString(""));
        fake->dialogs.ExpectOpenFiles({}); // cancelled: an empty value
        form->Items().button.SoundSelect1->trigger();
        QCOMPARE(Value("SoundSelect", "SpeedButton5"), QString(""));

        TNewIniFile(fake->IniPath()).WriteString("SoundSelect", "SpeedButton5", "/media/pick.wav");
        form->PlaySound("SpeedButton5");
        form->PlaySound("SpeedButton6");
        QCOMPARE(fake->sound.played.size(), 1);
        QVERIFY(fake->sound.played[0].asynchronous);
        QVERIFY(fake->sound.played[0].useDefault);
    }
};

QTEST_MAIN(ButtonClickTest)
#include "tst_buttonclick.moc"
