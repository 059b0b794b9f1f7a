// A new installation fills itself from the desktop's application entries: the real bar on a
// world of a dozen entries we wrote (XDG_DATA_DIRS limited to it), the question answered Yes,
// the settings file and the screen checked, imported buttons clicked and their programs'
// arguments and working directory compared word for word; the next start asks nothing and
// keeps everything.

#include "BarDriver.h"
#include "commandline/CommandLine.h"
#include "platform/linux/LinuxAppMenu.h"

#include <QImage>
#include <QStandardPaths>
#include <QtTest>

using namespace e2e;

namespace {

bool WriteFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A solid square icon of one colour, so that the button shows that colour in its middle.
bool WriteIcon(const QString &path, QColor color) {
    QImage image(48, 48, QImage::Format_RGB32);
    image.fill(color);
    return image.save(path, "PNG");
}

QByteArray Entry(const QByteArray &name, const QByteArray &exec, const QByteArray &more) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + more;
}

bool Near(QColor a, QColor b) {
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}
} // namespace

class TestImport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
    }
    void firstStartImportsTheMenu();
};

void TestImport::firstStartImportsTheMenu() {
    BarHome home;
    QVERIFY(home.IsValid());
    const QString apps = home.Path("data") + "/applications/";
    QDir().mkpath(home.Path("data") + "/system");
    home.SetEnvironment("XDG_DATA_DIRS", home.Path("data") + "/system");
    QTemporaryDir files;
    QVERIFY(files.isValid());
    QDir root(files.path());
    QVERIFY(root.mkpath("bin dir"));
    const Recorder recorder(root.filePath("bin dir/record"));
    QVERIFY(recorder.Install());
    const QByteArray rec = ShellWord(recorder.Path()).toUtf8();
    const QString red = root.filePath("red.png"), blue = root.filePath("blue.png");
    QVERIFY(WriteIcon(red, Qt::red) && WriteIcon(blue, Qt::blue));

    // Two accessories (sorted: the comma one first), one entry per other group, the catch-all
    // group last, the rest not shown. The recorder starts in its entry's Path.
    QVERIFY(root.mkpath("work dir"));
    const QString work = root.filePath("work dir");
    QVERIFY(WriteFile(
        apps + "recorder.desktop",
        Entry("Recorder", rec + " --caption %c --flag %U 'two words' 100%% %i --from %k",
              "Categories=Utility;\nIcon=" + red.toUtf8() + "\nPath=" + work.toUtf8() + "\n")));
    QVERIFY(WriteFile(apps + "player.desktop", Entry("Player", "true", "Categories=Audio;\n")));
    // The bar's own entry is no button of it.
    QVERIFY(WriteFile(apps + "io.orvane.Orvane.desktop",
                      Entry("Orvane", "true", "Categories=Utility;\n")));
    // Without a terminal program, an entry that needs one cannot be run: it is left out.
    const bool hasTerminal = !TerminalCommand().isEmpty();
    QVERIFY(WriteFile(apps + "terminal.desktop",
                      Entry("In Terminal", "true", "Terminal=true\nCategories=Office;\n")));
    // A symbolic-link loop adds no copies.
    QVERIFY(QDir().mkpath(apps + "sub") && QFile::link("..", apps + "sub/loop"));
    QVERIFY(WriteFile(apps + "comma.desktop",
                      Entry("Cut, \"Paste\" Tool", rec + " 'a,b' \"say \\\\\"hi\\\\\"\" %F",
                            "Categories=TextEditor;Utility;\nIcon=" + blue.toUtf8() + "\n")));
    QVERIFY(WriteFile(apps + "chess.desktop", Entry("Chess", "true", "Categories=Game;\n")));
    QVERIFY(WriteFile(apps + "cards.desktop", Entry("cards", "true --deck 52", "Categories=Game;CardGame;\n")));
    QVERIFY(WriteFile(apps + "writer.desktop", Entry("Writer", "true", "Categories=Office;\n")));
    QVERIFY(WriteFile(apps + "ide.desktop", Entry("IDE", "true", "Categories=Development;IDE;\n")));
    QVERIFY(WriteFile(apps + "paint.desktop", Entry("Paint", "true", "Categories=Graphics;\n")));
    QVERIFY(WriteFile(apps + "browser.desktop", Entry("Browser", "true %u", "Categories=Network;WebBrowser;\n")));
    QVERIFY(WriteFile(apps + "misc.desktop", Entry("Misc", "true", "")));
    QVERIFY(WriteFile(apps + "hidden.desktop", Entry("Hidden Tool", "true", "Hidden=true\nCategories=Utility;\n")));
    QVERIFY(WriteFile(apps + "nodisplay.desktop", Entry("Invisible Tool", "true", "NoDisplay=true\nCategories=Game;\n")));
    QVERIFY(WriteFile(apps + "nowhere.desktop", Entry("Nowhere Tool", "/nonexistent/tool", "Categories=Office;\n")));
    QVERIFY(WriteFile(apps + "broken.desktop", "no key file at all [\n\x01"));
    QVERIFY(WriteFile(apps + "huge.desktop",
                      Entry("Huge Tool", "true " + QByteArray(1 << 20, 'x'), "Categories=Office;\n")));

    {
        Bar bar(home, {});
        bool asked = false;
        QVERIFY2(bar.WaitForWindow(&asked, 30000, true), qPrintable(bar.Diagnostics()));
        QVERIFY(asked);
        const QString file = home.SettingsFile();
        const int perPage = IniValue(file, "Location", "ButtonCount").toInt();
        QVERIFY(perPage == 16 || perPage == 21);
        QVERIFY(bar.Title().endsWith("Page 1 of 8"));

        const IniSection tabs = ReadIniSection(file, "Tabs");
        QCOMPARE(tabs, (IniSection{{"pagetab1", "Accessories"},
                                   {"pagetab2", "Development"},
                                   {"pagetab3", "Games"},
                                   {"pagetab4", "Graphics"},
                                   {"pagetab5", "Internet"},
                                   {"pagetab6", "Office"},
                                   {"pagetab7", "Sound & Video"},
                                   {"pagetab8", "Other"}}));
        QCOMPARE(IniValue(file, "Pages", "Count"), QString("8"));
        auto key = [perPage](int page, int slot) { return QString("SpeedButton%1").arg((page - 1) * perPage + slot); };
        IniSection names{{key(1, 1).toLower(), "Cut, \"Paste\" Tool"},
                         {key(1, 2).toLower(), "Recorder"},
                         {key(2, 1).toLower(), "IDE"},
                         {key(3, 1).toLower(), "cards"},
                         {key(3, 2).toLower(), "Chess"},
                         {key(4, 1).toLower(), "Paint"},
                         {key(5, 1).toLower(), "Browser"},
                         {key(6, 1).toLower(), "Writer"},
                         {key(7, 1).toLower(), "Player"},
                         {key(8, 1).toLower(), "Misc"}};
        if (hasTerminal) { // run in it, before "Writer"
            names.insert(key(6, 1).toLower(), "In Terminal");
            names.insert(key(6, 2).toLower(), "Writer");
        }
        QCOMPARE(ReadIniSection(file, "Names"), names);
        const QString truePath = QStandardPaths::findExecutable("true");
        QCOMPARE(SplitCommandLine(IniValue(file, "Programs", key(1, 1))), (QStringList{recorder.Path(), "a,b", "say \"hi\""}));
        const QStringList recorderWords{"--caption", "Recorder", "--flag",
                                        "two words", "100%",     "--icon",
                                        red,         "--from",   apps + "recorder.desktop"};
        QCOMPARE(SplitCommandLine(IniValue(file, "Programs", key(1, 2))),
                 QStringList{recorder.Path()} + recorderWords);
        QCOMPARE(IniValue(file, "Working", key(1, 2)), LongPath(work));
        QCOMPARE(ReadIniSection(file, "Working").size(), 1); // entries without a Path keep the rule
        QCOMPARE(SplitCommandLine(IniValue(file, "Programs", key(3, 1))), (QStringList{truePath, "--deck", "52"}));
        QCOMPARE(SplitCommandLine(IniValue(file, "Programs", key(5, 1))), QStringList{truePath});
        QCOMPARE(SplitCommandLine(IniValue(file, "Icons", key(1, 1))), QStringList{apps + "comma.desktop"});
        QCOMPARE(SplitCommandLine(IniValue(file, "Icons", key(1, 2))), QStringList{apps + "recorder.desktop"});
        QVERIFY(ReadIniSection(file, "IconSelection").isEmpty());
        QVERIFY(QFileInfo(file).size() < 20000); // the huge entry is not stored

        // The first page shows each entry's own icon.
        const QImage shot = SettledGrab(bar.Window());
        SaveScreenshot("import-first-start");
        QVERIFY(!shot.isNull());
        QVERIFY2(Near(shot.pixelColor(ButtonCentre(1)), Qt::blue), qPrintable(shot.pixelColor(ButtonCentre(1)).name()));
        QVERIFY2(Near(shot.pixelColor(ButtonCentre(2)), Qt::red), qPrintable(shot.pixelColor(ButtonCentre(2)).name()));

        // Clicked, each runs its program with exactly the words of its entry.
        QVERIFY(ClickAt(bar, ButtonCentre(2)));
        QVERIFY2(recorder.WaitUntilRan(), qPrintable(bar.Diagnostics()));
        QCOMPARE(recorder.Record().value(0), QDir(work).canonicalPath());
        QCOMPARE(recorder.Record().mid(1), recorderWords);
        QFile::remove(recorder.RecordFile());
        // The launch shrinks the bar; it expands again once the program has ended.
        QVERIFY2(PollUntil([&] { return PlaceOf(bar.Window()).client.width() > 300; }), qPrintable(bar.Diagnostics()));
        QTest::qWait(500);
        QVERIFY(ClickAt(bar, ButtonCentre(1)));
        QVERIFY2(recorder.WaitUntilRan(), qPrintable(bar.Diagnostics()));
        QCOMPARE(recorder.Record().mid(1), (QStringList{"a,b", "say \"hi\""}));
        QCOMPARE(bar.Terminate(), 0);
    }

    // The next start is no new installation: no question, the same page size and pages.
    const QByteArray before = [&] {
        QFile f(home.SettingsFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    Bar again(home, {});
    bool asked = false;
    QVERIFY2(again.WaitForWindow(&asked), qPrintable(again.Diagnostics()));
    QVERIFY(!asked);
    QVERIFY(again.Title().endsWith("Page 1 of 8"));
    QCOMPARE(IniValue(home.SettingsFile(), "Location", "ButtonCount"),
             QString::fromUtf8(before).section("ButtonCount=", 1).section('\n', 0, 0));
}

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
