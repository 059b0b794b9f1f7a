// Filling a new installation from the application menu: the item-line parser, the import over
// a scripted menu, and the first start of the window with its question.
#include "FakePlatform.h"
#include "RewriteCounter.h"
#include "app/Icons.h"
#include "platform/AppMenu.h"
#include "progman/Progman.h"
#include "settings/NewIniFile.h"

#include <QFile>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {
QString ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString Item(int n) {
    return QString("\"Item %1\",\"/bin/item%1 --n %1\",/tmp,/icons/item%1.png,0,0,%1").arg(n);
}

// A group reply: the header line, then the given item lines.
QString Group(const QStringList &items) {
    return "\"Group\",/groups,7\r\n" + items.join("\r\n") + "\r\n";
}

QStringList Items(int first, int last) {
    QStringList items;
    for (int n = first; n <= last; ++n)
        items << Item(n);
    return items;
}

const QString kQuestion = "New Orvane Installation:  Yes = Auto Configure.  No = Custom Configure.";
} // namespace

using Replies = QHash<QString, QString>;

class ProgmanTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;

    TNewIniFile Ini() { return TNewIniFile(fake->IniPath()); }
    QString Value(const QString &section, const QString &key) {
        return Ini().ReadString(section, key, "<none>");
    }
    ProgmanImport Import(int perPage) {
        TNewIniFile ini = Ini();
        SettingsTransaction transaction(ini);
        ProgmanImport result = ImportFromAppMenu(fake->appMenu, ini, perPage);
        transaction.Commit();
        return result;
    }

private slots:
    void init() {
        fake = std::make_unique<FakePlatform>();
        fake->appMenu.available = true;
    }
    void cleanup() {
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    // One item line cut into its fields: commas end fields, the quotes of name and command
    // line are taken off by position, an empty field after the directory drops the icon.
    void parseItemLine_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("iconUsable"); // no gap and a readable index
        QTest::newRow("notepad")
            << R"("Notepad","C:\WINDOWS\NOTEPAD.EXE",C:\WINDOWS,C:\WINDOWS\NOTEPAD.EXE,0,0,0,0,0)"
            << "Notepad" << R"(C:\WINDOWS\NOTEPAD.EXE)" << R"(C:\WINDOWS\NOTEPAD.EXE)" << 0 << true;
        QTest::newRow("command with its argument")
            << R"("Help","C:\WINDOWS\WINHLP32.EXE C:\WINDOWS\HELP\WIN.HLP",C:\WINDOWS,C:\WINDOWS\WINHLP32.EXE,0,0,3,0,0)"
            << "Help" << R"(C:\WINDOWS\WINHLP32.EXE C:\WINDOWS\HELP\WIN.HLP)"
            << R"(C:\WINDOWS\WINHLP32.EXE)" << 3 << true;
        QTest::newRow("empty eighth field")
            << R"("Help","C:\W\WINHLP32.EXE",C:\W,C:\W\WINHLP32.EXE,0,0,3,,0)"
            << "Help" << R"(C:\W\WINHLP32.EXE)" << R"(C:\W\WINHLP32.EXE)" << 3 << false;
        QTest::newRow("empty icon field")
            << R"("A","/bin/a",/tmp,,0,0,1)" << "A" << "/bin/a" << "" << 1 << true;
        QTest::newRow("empty directory is no gap")
            << R"("A","/bin/a",,/i.png,0,0,2)" << "A" << "/bin/a" << "/i.png" << 2 << true;
        QTest::newRow("seven fields only")
            << R"("A","/bin/a",/tmp,/i.png,0,0,5)" << "A" << "/bin/a" << "/i.png" << 5 << true;
        QTest::newRow("index not a number")
            << R"("A","/bin/a",/tmp,/i.png,0,0,x)" << "A" << "/bin/a" << "/i.png" << 0 << false;
        QTest::newRow("comma in the name ends it early")
            << R"("Cut, Paste","/bin/a",/tmp,/i.png,0,0,1)" << "Cu" << "Paste"
            << "/tmp" << 0 << true;
        QTest::newRow("comma in the command ends it early")
            << R"("A","/bin/a x,y",/tmp,/i.png,0,0,1)" << "A" << "/bin/a " << "/tmp" << 0 << true;
        QTest::newRow("encoded commas and percent signs")
            << R"("Cut%2C Paste 100%25","/bin/a 'x%2Cy' %25u",/tmp,/i%2Cj.png,0,0,4)"
            << "Cut, Paste 100%" << "/bin/a 'x,y' %u" << "/i,j.png" << 4 << true;
        QTest::newRow("quotes inside the name")
            << R"("Say "hi"","/bin/say",/tmp,/i.png,0,0,0)" << "Say \"hi\"" << "/bin/say" << "/i.png" << 0 << true;
        QTest::newRow("one comma") << R"("A","/bin/a")" << "A" << "" << "" << 0 << false;
        QTest::newRow("no comma") << R"("A")" << "" << "" << "" << 0 << false;
        QTest::newRow("blank line") << "" << "" << "" << "" << 0 << false;
    }
    void parseItemLine() {
        QFETCH(QString, line);
        const ProgmanItem item = ParseItemLine(line);
        QTEST(item.name, "name");
        QTEST(item.command, "command");
        QFETCH(QString, command);
        if (!command.isEmpty()) {
            QTEST(item.iconPath, "icon");
            QTEST(item.iconIndex, "index");
            QTEST(item.iconIndexValid && !item.gap, "iconUsable");
        }
    }

    void replyLines() {
        QCOMPARE(ReplyLines("a\r\nb\r\n"), QStringList({"a", "b"}));
        QCOMPARE(ReplyLines("a\nb\rc"), QStringList({"a", "b", "c"}));
        QCOMPARE(ReplyLines("a\r\n\r\nb"), QStringList({"a", "", "b"}));
        QCOMPARE(ReplyLines(""), QStringList());
        // Only the final line end adds no line; LF CR is two line ends, CR LF one.
        QCOMPARE(ReplyLines("a\r\n\r\n"), QStringList({"a", ""}));
        QCOMPARE(ReplyLines("\n\r\r\nz"), QStringList({"", "", "", "z"}));
    }

    // Every group with a name becomes a page, in alphabetical order regardless of case, the
    // first one included, the catch-all group last; conversations are one request each,
    // "GROUPS" first.
    void groupsBecomePages() {
        fake->appMenu.replies["GROUPS"] = "main\r\nOther\r\nStartUp\r\nGames\r\nAccessories\r\n";
        for (const char *g : {"main", "Other", "StartUp", "Games", "Accessories"})
            fake->appMenu.replies[g] = Group({Item(1)});
        const ProgmanImport result = Import(16);
        QVERIFY(result.reached);
        QCOMPARE(result.pages, 5);
        QCOMPARE(Value("Pages", "Count"), QString("5"));
        QCOMPARE(Value("Tabs", "PageTab1"), QString("Accessories"));
        QCOMPARE(Value("Tabs", "PageTab2"), QString("Games"));
        QCOMPARE(Value("Tabs", "PageTab3"), QString("main"));
        QCOMPARE(Value("Tabs", "PageTab4"), QString("StartUp"));
        QCOMPARE(Value("Tabs", "PageTab5"), QString("Other"));
        QCOMPARE(Value("Names", "SpeedButton49"), QString("Item 1")); // page 4, slot 1
        QCOMPARE(fake->appMenu.calls.mid(0, 6),
                 QStringList({"connect", "request:GROUPS", "disconnect", "connect",
                              "request:Accessories", "disconnect"}));
        QCOMPARE(fake->appMenu.calls.size(), 18);
    }

    // An item's directory (a desktop entry's Path) becomes its button's working directory, in
    // the stored form of a path; an item without one keeps the launch's own rule.
    void directoryBecomesWorkingDirectory_data() {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("working"); // "<none>": not written
        QTest::newRow("plain") << "/srv/wine/app"
                               << "/srv/wine/app";
        QTest::newRow("blanks: quoted") << "/home/u/.wine/drive_c/Program Files/App"
                                        << "'/home/u/.wine/drive_c/Program Files/App'";
        QTest::newRow("encoded comma") << "/srv/a%2Cb"
                                       << "/srv/a,b";
        QTest::newRow("none") << ""
                              << "<none>";
        QTest::newRow("blank") << "  "
                               << "<none>";
    }
    void directoryBecomesWorkingDirectory() {
        QFETCH(QString, directory);
        fake->appMenu.replies["GROUPS"] = "A\r\n";
        fake->appMenu.replies["A"] =
            Group({QString("\"Tool\",\"/bin/tool\",%1,/i.png,0,0,0").arg(directory)});
        Import(16);
        QCOMPARE(Value("Programs", "SpeedButton1"), QString("/bin/tool"));
        QTEST(Value("Working", "SpeedButton1"), "working");
    }

    // Items fill a page, then at most two continuation pages with the same tab name; only reply
    // lines 1 to 29, 59 and 89 are looked at for the three pages.
    void pagesOfOneGroup_data() {
        QTest::addColumn<int>("perPage");
        QTest::addColumn<int>("items");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("buttons"); // buttons 1 … this hold items 1 … this
        QTest::newRow("16, one page") << 16 << 16 << 1 << 16;
        QTest::newRow("16, 17 items") << 16 << 17 << 2 << 17;
        QTest::newRow("16, 50 items: three pages, 49 and 50 dropped") << 16 << 50 << 3 << 48;
        QTest::newRow("21, 40 items") << 21 << 40 << 2 << 40;
        QTest::newRow("21, 100 items: lines up to 89") << 21 << 100 << 3 << 63;
        QTest::newRow("2000 items") << 21 << 2000 << 3 << 63;
    }
    void pagesOfOneGroup() {
        QFETCH(int, perPage);
        QFETCH(int, items);
        fake->appMenu.replies["GROUPS"] = "Tools\r\nZed\r\n";
        fake->appMenu.replies["Tools"] = Group(Items(1, items));
        fake->appMenu.replies["Zed"] = Group({Item(999)});
        const ProgmanImport result = Import(perPage);
        QFETCH(int, pages);
        QFETCH(int, buttons);
        QCOMPARE(result.pages, pages + 1);
        for (int page = 1; page <= pages; ++page)
            QCOMPARE(Value("Tabs", QString("PageTab%1").arg(page)), QString("Tools"));
        QCOMPARE(Value("Tabs", QString("PageTab%1").arg(pages + 1)), QString("Zed"));
        for (int n = 1; n <= buttons; ++n) {
            const QString key = QString("SpeedButton%1").arg(n);
            QCOMPARE(Value("Names", key), QString("Item %1").arg(n));
            QCOMPARE(Value("Programs", key), QString("/bin/item%1 --n %1").arg(n));
            QCOMPARE(Value("Icons", key), QString("/icons/item%1.png").arg(n));
            QCOMPARE(Value("IconSelection", key), QString::number(n));
        }
        for (int n = buttons + 1; n <= pages * perPage; ++n)
            QCOMPARE(Value("Programs", QString("SpeedButton%1").arg(n)), QString("<none>"));
        QCOMPARE(Value("Names", QString("SpeedButton%1").arg(pages * perPage + 1)), QString("Item 999"));
    }

    // Lines without a command line are skipped and do not take a button; a page that cannot be
    // filled from lines 1 to 29 ends the group there.
    void skippedLinesAndTheLineLimit() {
        QStringList lines{"", "garbage", R"("No command","",/tmp,/i.png,0,0,0)", Item(1)};
        while (lines.size() < 28)
            lines << "";
        lines << Item(2) << Item(3); // lines 29 and 30
        fake->appMenu.replies["GROUPS"] = "A\r\n";
        fake->appMenu.replies["A"] = Group(lines);
        Import(16);
        QCOMPARE(Value("Names", "SpeedButton1"), QString("Item 1"));
        QCOMPARE(Value("Names", "SpeedButton2"), QString("Item 2"));
        QCOMPARE(Value("Names", "SpeedButton3"), QString("<none>"));
    }

    // The icon is taken only when it differs from the command line and no field is empty.
    void iconConditions() {
        fake->appMenu.replies["GROUPS"] = "A\r\nB\r\n";
        fake->appMenu.replies["A"] = Group({});
        fake->appMenu.replies["B"] = Group(
            {R"("Notepad","C:\WINDOWS\NOTEPAD.EXE",C:\WINDOWS,C:\WINDOWS\NOTEPAD.EXE,0,0,0,0,0)",
             R"("Help","C:\W\H.EXE C:\W\WIN.HLP",C:\W,C:\W\H.EXE,0,0,3,0,0)",
             R"("Gap","C:\W\H.EXE",C:\W,C:\W\I.DLL,0,0,3,,0)",
             R"("Zero","/bin/z",/,/z.png,0,0,0)"});
        Import(16);
        QCOMPARE(Value("Names", "SpeedButton17"), QString("Notepad"));
        QCOMPARE(Value("Programs", "SpeedButton17"), QString(R"(C:\WINDOWS\NOTEPAD.EXE)"));
        QCOMPARE(Value("Icons", "SpeedButton17"), QString("<none>"));
        QCOMPARE(Value("IconSelection", "SpeedButton17"), QString("<none>"));
        QCOMPARE(Value("Programs", "SpeedButton18"), QString(R"(C:\W\H.EXE C:\W\WIN.HLP)"));
        QCOMPARE(Value("Icons", "SpeedButton18"), QString(R"(C:\W\H.EXE)"));
        QCOMPARE(Value("IconSelection", "SpeedButton18"), QString("3"));
        QCOMPARE(Value("Programs", "SpeedButton19"), QString(R"(C:\W\H.EXE)"));
        QCOMPARE(Value("Icons", "SpeedButton19"), QString("<none>"));
        // Index 0 is what an absent key reads as; start-up would only erase it again.
        QCOMPARE(Value("Icons", "SpeedButton20"), QString("/z.png"));
        QCOMPARE(Value("IconSelection", "SpeedButton20"), QString("<none>"));
        QCOMPARE(Value("Tabs", "PageTab1"), QString("A")); // a group without items: an empty page
        QCOMPARE(Value("Pages", "Count"), QString("2"));
    }

    // What the menu fails to give: no group list writes nothing, a group that does not answer
    // keeps its empty page, an empty list or only blank names fill no page and leave the count.
    void failures_data() {
        QTest::addColumn<Replies>("replies");
        QTest::addColumn<bool>("reached");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("tab1");
        QTest::newRow("no group list") << Replies{} << false << "<none>" << "<none>";
        QTest::newRow("empty group list") << Replies{{"GROUPS", ""}} << true << "<none>" << "<none>";
        QTest::newRow("blank names only")
            << Replies{{"GROUPS", "\r\n \r\n"}} << true << "<none>" << "<none>";
        QTest::newRow("one group, no answer")
            << Replies{{"GROUPS", "Solo\r\n"}} << true << "1" << "Solo";
    }
    void failures() {
        QFETCH(Replies, replies);
        fake->appMenu.replies = replies;
        const ProgmanImport result = Import(16);
        QTEST(result.reached, "reached");
        QTEST(Value("Pages", "Count"), "count");
        QTEST(Value("Tabs", "PageTab1"), "tab1");
        QCOMPARE(Value("Programs", "SpeedButton1"), QString("<none>"));
    }

    // What cannot be stored whole is not stored at all, and never shifts the next items; a
    // NUL in a name becomes a blank.
    void valuesTheFileCannotHold() {
        const QString huge(5000, 'x');
        fake->appMenu.replies["GROUPS"] = "A\r\n";
        fake->appMenu.replies["A"] = Group({"\"Huge\",\"/bin/" + huge + "\",/,/i.png,0,0,0",
                                            QString("\"Nul") + QChar(0) + "name\",\"/bin/n\",/,/i.png,0,0,0",
                                            Item(2)});
        Import(16);
        QCOMPARE(Value("Names", "SpeedButton1"), QString("Nul name"));
        QCOMPARE(Value("Names", "SpeedButton2"), QString("Item 2"));
        QVERIFY(!ReadAll(fake->IniPath()).contains(huge));
    }

    // ---- the window's first start ----

    // Yes: the import fills the file in one rewrite, the bar is built from it, and the next
    // start keeps the buttons per page and asks nothing.
    void firstStartYes() {
        fake->appMenu.replies["GROUPS"] = "Office\r\nGames\r\n";
        fake->appMenu.replies["Office"] = Group(Items(1, 23));
        fake->appMenu.replies["Games"] = Group({Item(50)});
        fake->dialogs.ExpectQuestion(kQuestion, true);
        RewriteCounter rewrites(fake->IniPath(), false);
        {
            TForm1 form(fake->Get());
            QCOMPARE(rewrites.Count(), 1);
            QCOMPARE(form.ButtonsPerPage(), 21);
            QCOMPARE(form.TabNames(), QStringList({"Games", "Office", "Office"}));
            QCOMPARE(form.FindButton(22)->toolTip(), QString("Item 1"));
            QCOMPARE(form.FindButton(1)->toolTip(), QString("Item 50"));
            QCOMPARE(Value("Location", "ButtonCount"), QString("21"));
        }
        fake->appMenu.calls.clear();
        TForm1 again(fake->Get());
        QCOMPARE(again.ButtonsPerPage(), 21);
        QCOMPARE(again.TabNames().size(), 3);
        QVERIFY(fake->appMenu.calls.isEmpty());
    }

    // No: only the page size (and the place) are kept, the default empty pages are built.
    // Unreachable menu: the message, and the same empty pages.
    void firstStartWithoutImport_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("answer No") << false;
        QTest::newRow("menu unreachable") << true;
    }
    void firstStartWithoutImport() {
        QFETCH(bool, yes);
        fake->appMenu.available = !yes;
        fake->appMenu.replies["GROUPS"] = "Office\r\n";
        fake->dialogs.ExpectQuestion(kQuestion, yes);
        if (yes)
            fake->dialogs.ExpectMessage("Can not access the application menu");
        {
            TForm1 form(fake->Get());
            QCOMPARE(form.TabNames().size(), 20);
            QCOMPARE(form.ButtonsPerPage(), 21);
        }
        const TNewIniFile ini = Ini();
        QVERIFY(!ini.SectionExists("Tabs"));
        QVERIFY(!ini.SectionExists("Pages"));
        QCOMPARE(Value("Location", "ButtonCount"), QString("21"));
        TForm1 again(fake->Get()); // no second question
        QCOMPARE(again.ButtonsPerPage(), 21);
    }

    // A file that refuses writes: the error once, and the bar still starts.
    void refusedWrite() {
        fake->arguments = {"a/b"}; // a profile that cannot be a file name
        fake->dialogs.ExpectError("OVa/b.DAT"); // the lockout data file is set up first
        fake->dialogs.ExpectQuestion(kQuestion, false);
        fake->dialogs.ExpectError("Unable to write to");
        TForm1 form(fake->Get());
        QCOMPARE(form.TabNames().size(), 20);
    }
};

QTEST_MAIN(ProgmanTest)
#include "tst_progman.moc"
