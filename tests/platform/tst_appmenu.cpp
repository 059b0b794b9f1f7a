// The application menu over real desktop entries through GIO: which entries are listed and in
// which group, their command lines, and replies that the import reads back exactly.
#include "XdgSandbox.h"
#include "commandline/CommandLine.h"
#include "platform/linux/LinuxAppMenu.h"
#include "progman/Progman.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <sys/stat.h>

// The whole XDG world of this test. GIO reads it once, so main points the environment here
// and writes every entry before anything else runs.
static QTemporaryDir *Sandbox;
static QString At(const QString &relative) { return Sandbox->filePath(relative); }
static const char *const kFixtureType = "application/x-orvane-fixture";

static void WriteFile(const QString &path, const QByteArray &bytes, bool executable = false) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner);
}

// A desktop entry; every one carries the fixture type, so that `gio mime` lists the valid ones.
static QByteArray Entry(const QByteArray &name, const QByteArray &exec, const QByteArray &more) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec +
           "\nMimeType=" + kFixtureType + ";\n" + more;
}

struct Fixture {
    const char *id;
    QByteArray text;
    bool system = false; // in XDG_DATA_DIRS rather than XDG_DATA_HOME
};

static QList<Fixture> Fixtures() {
    const QByteArray tool = QFile::encodeName(At("bin/tool"));
    const QByteArray spaced = QFile::encodeName(At("my bin/spaced tool"));
    return {
        {"editor.desktop",
         Entry("Editor", tool + " --edit %F", "Categories=Utility;TextEditor;\n")},
        {"multi.desktop", Entry("Multi", tool, "Categories=TextEditor;Development;Utility;\n")},
        {"chess.desktop", Entry("Chess", tool + " --game chess", "Categories=Game;BoardGame;\n")},
        {"player.desktop", Entry("Player", tool, "Categories=Audio;Player;\n")},
        {"nocat.desktop", Entry("No Category", tool, "")},
        {"custom.desktop", Entry("Custom", tool, "Categories=X-Custom;\n")},
        {"hidden.desktop", Entry("Hidden", tool, "Hidden=true\nCategories=Utility;\n")},
        {"nodisplay.desktop", Entry("NoDisplay", tool, "NoDisplay=true\nCategories=Utility;\n")},
        {"onlyother.desktop",
         Entry("Only Other", tool, "OnlyShowIn=OtherDesk;\nCategories=Utility;\n")},
        {"onlyours.desktop",
         Entry("Only Ours", tool, "OnlyShowIn=OrvaneTest;\nCategories=Utility;\n")},
        {"notours.desktop",
         Entry("Not Ours", tool, "NotShowIn=OrvaneTest;\nCategories=Utility;\n")},
        {"nowhere.desktop", Entry("Nowhere", "/nonexistent/program", "Categories=Utility;\n")},
        {"garbage.desktop", "this is not a desktop entry\n\x01\x02"},
        {"noexec.desktop",
         "[Desktop Entry]\nType=Application\nName=No Exec\nCategories=Utility;\n"},
        {"badquote.desktop", Entry("Bad Quote", tool + " \"unbalanced", "Categories=Utility;\n")},
        {"codes.desktop",
         Entry("Codes",
               tool + " --name=%c %i --file %f --level 100%% --url=%u --caption %c --entry %k",
               "Categories=Office;\nIcon=codes-icon\n")},
        {"noicon.desktop", Entry("No Icon", tool + " %i --file", "Categories=Office;\n")},
        {"comma.desktop", Entry("Cut, \"Paste\" 50%25", tool + " 'a,b' \"say \\\\\"hi\\\\\"\" %U",
                                "Categories=Office;\n")},
        {"spaced.desktop",
         Entry("Spaced", "\"" + spaced + "\" '#not a comment'", "Categories=Office;\n")},
        {"escapes.desktop", Entry("Two\\nLines", tool, "Categories=Office;\n")},
        {"brokenword.desktop", Entry("Broken Word", tool + " \"a\\nb\"", "Categories=Office;\n")},
        {"latin1.desktop", Entry("Caf\xe9", tool, "Categories=Office;\n")},
        {"equals.desktop", Entry("Key\\=Value a=b", tool + " --opt=a=b", "Categories=Office;\n")},
        {"terminal.desktop",
         Entry("In Terminal", tool + " --opt %f", "Terminal=true\nCategories=System;\n")},
        {"shadowed.desktop", Entry("Home Copy", tool, "Categories=Graphics;\n")},
        {"shadowed.desktop", Entry("System Copy", tool, "Categories=Graphics;\n"), true},
        {"sysonly.desktop", Entry("System Only", tool, "Categories=Network;\n"), true},
        {"io.orvane.Orvane.desktop", Entry("Orvane", tool, "Categories=Utility;\n")},
    };
}

// The valid entries of the fixture type, by `gio mime`.
static QStringList GioRegistered() {
    QProcess gio;
    gio.start(QStringLiteral("gio"), {QStringLiteral("mime"), QLatin1String(kFixtureType)});
    if (!gio.waitForFinished(30000))
        return {QStringLiteral("<gio failed>")};
    const QString output = QString::fromUtf8(gio.readAllStandardOutput());
    const QString registered = output.section(QStringLiteral("Registered applications:"), 1)
                                   .section(QStringLiteral("Recommended applications:"), 0, 0);
    QStringList ids;
    for (const QString &line : registered.split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            ids << line.trimmed();
    ids.sort();
    return ids;
}


static const AppMenuEntry *Find(const std::vector<AppMenuEntry> &entries, const QString &file) {
    for (const AppMenuEntry &e : entries)
        if (QFileInfo(e.desktopFile).fileName() == file)
            return &e;
    return nullptr;
}

class AppMenuTest : public QObject {
    Q_OBJECT
    std::vector<AppMenuEntry> listed;

private slots:
    void initTestCase() { listed = ListAppMenuEntries(); }

    // Each entry: listed or not, its group, name and the words its command line splits into.
    void entries_data() {
        const QString tool = At("bin/tool");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("group"); // empty: not listed
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("argv");
        QTest::newRow("utility") << "editor.desktop" << "Accessories" << "Editor" << QStringList{tool, "--edit"};
        QTest::newRow("first main category") << "multi.desktop" << "Development" << "Multi" << QStringList{tool};
        QTest::newRow("game") << "chess.desktop" << "Games" << "Chess" << QStringList{tool, "--game", "chess"};
        QTest::newRow("audio") << "player.desktop" << "Sound & Video" << "Player" << QStringList{tool};
        QTest::newRow("no categories") << "nocat.desktop" << "Other" << "No Category" << QStringList{tool};
        QTest::newRow("no main category") << "custom.desktop" << "Other" << "Custom" << QStringList{tool};
        QTest::newRow("hidden") << "hidden.desktop" << "" << "" << QStringList{};
        QTest::newRow("no display") << "nodisplay.desktop" << "" << "" << QStringList{};
        QTest::newRow("only another desktop") << "onlyother.desktop" << "" << "" << QStringList{};
        QTest::newRow("only this desktop") << "onlyours.desktop" << "Accessories" << "Only Ours" << QStringList{tool};
        QTest::newRow("not this desktop") << "notours.desktop" << "" << "" << QStringList{};
        QTest::newRow("program nowhere") << "nowhere.desktop" << "" << "" << QStringList{};
        QTest::newRow("malformed") << "garbage.desktop" << "" << "" << QStringList{};
        QTest::newRow("no Exec") << "noexec.desktop" << "" << "" << QStringList{};
        QTest::newRow("unbalanced quote") << "badquote.desktop" << "" << "" << QStringList{};
        QTest::newRow("field codes")
            << "codes.desktop"
            << "Office"
            << "Codes"
            << QStringList{
                   tool,         "--name=Codes", "--icon",
                   "codes-icon", "--file",       "--level",
                   "100%",       "--url=",       "--caption",
                   "Codes",      "--entry",      At("home/data/applications/codes.desktop")};
        QTest::newRow("%i without an icon") << "noicon.desktop"
                                            << "Office"
                                            << "No Icon" << QStringList{tool, "--file"};
        QTest::newRow("comma, quotes, percent") << "comma.desktop" << "Office" << "Cut, \"Paste\" 50%25"
                                                << QStringList{tool, "a,b", "say \"hi\""};
        QTest::newRow("blank in the program, # word")
            << "spaced.desktop" << "Office" << "Spaced" << QStringList{At("my bin/spaced tool"), "#not a comment"};
        QTest::newRow("escaped line break in the name") << "escapes.desktop" << "Office" << "Two Lines" << QStringList{tool};
        QTest::newRow("name not UTF-8: the file name") << "latin1.desktop" << "Office" << "latin1" << QStringList{tool};
        QTest::newRow("'=' escaped and plain") << "equals.desktop" << "Office" << "Key\\=Value a=b"
                                               << QStringList{tool, "--opt=a=b"};
        QTest::newRow("in a terminal") << "terminal.desktop" << "System" << "In Terminal"
                                       << QStringList{At("bin/x-terminal-emulator"), "-e", tool, "--opt"};
        QTest::newRow("line break inside a word") << "brokenword.desktop" << "" << "" << QStringList{};
        QTest::newRow("home shadows system") << "shadowed.desktop" << "Graphics" << "Home Copy" << QStringList{tool};
        QTest::newRow("system only") << "sysonly.desktop" << "Internet" << "System Only" << QStringList{tool};
        QTest::newRow("the bar's own entry") << "io.orvane.Orvane.desktop"
                                             << ""
                                             << "" << QStringList{};
    }
    void entries() {
        QFETCH(QString, file);
        QFETCH(QString, group);
        const AppMenuEntry *entry = Find(listed, file);
        if (group.isEmpty()) {
            QVERIFY2(!entry, qPrintable(file + " is listed"));
            return;
        }
        QVERIFY2(entry, qPrintable(file + " is not listed"));
        QCOMPARE(entry->group, group);
        QTEST(entry->name, "name");
        QTEST(SplitCommandLine(entry->commandLine), "argv");
        QVERIFY(!entry->commandLine.contains('\n'));
    }

    // What is listed is what GIO takes as valid, less what the menus hide.
    void matchesGio() {
        // Valid to GIO, but hidden by the menus, or without a command line that can be stored.
        const QStringList hidden{"nodisplay.desktop", "onlyother.desktop",
                                 "notours.desktop",   "brokenword.desktop",
                                 "noexec.desktop",    "io.orvane.Orvane.desktop"};
        QStringList expected;
        for (const QString &id : GioRegistered())
            if (!hidden.contains(id))
                expected << id;
        QStringList names;
        for (const AppMenuEntry &e : this->listed)
            names << QFileInfo(e.desktopFile).fileName();
        names.sort();
        QCOMPARE(names.join(" "), expected.join(" "));
    }

    // Every listed entry, as its group's reply line, reads back through the import's parser
    // exactly: name, command line (so the same words), icon source.
    void repliesReadBack() {
        LinuxAppMenu menu;
        const std::optional<QString> groups = menu.Request("GROUPS");
        QVERIFY(groups);
        QCOMPARE(SortedGroupList(*groups),
                 QStringList({"Accessories", "Development", "Games", "Graphics", "Internet",
                              "Office", "Sound & Video", "System", "Other"}));
        int items = 0;
        for (const QString &group : SortedGroupList(*groups)) {
            const std::optional<QString> reply = menu.Request(group);
            QVERIFY2(reply, qPrintable(group));
            const QStringList lines = ReplyLines(*reply);
            for (int j = 1; j < lines.size(); ++j, ++items) {
                const ProgmanItem item = ParseItemLine(lines[j]);
                const AppMenuEntry *entry = Find(listed, QFileInfo(item.iconPath).fileName());
                QVERIFY2(entry, qPrintable(lines[j]));
                QCOMPARE(entry->group, group);
                QCOMPARE(item.name, entry->name);
                QCOMPARE(item.command, entry->commandLine);
                QCOMPARE(item.iconPath, entry->desktopFile);
                QVERIFY(item.iconIndexValid && !item.gap);
            }
        }
        QCOMPARE(items, int(listed.size()));
        QVERIFY(!menu.Request("No Such Group"));
    }

    // The applications folder holds a symbolic-link loop (sub/loop -> ..): each entry is
    // listed once, not again under every level of the loop.
    void linkLoopListsEachEntryOnce() {
        QSet<QString> files;
        for (const AppMenuEntry &e : listed)
            files.insert(QFileInfo(UnquotePath(e.desktopFile)).canonicalFilePath());
        QCOMPARE(int(files.size()), int(listed.size()));
        QVERIFY(Find(listed, "editor.desktop"));
    }

    // Entries that must run in a terminal are left out on a machine without a terminal
    // program, and only they. Run in a child whose PATH has no terminal.
    void noTerminal() {
        const QStringList listing = ListInChild("--list", {{"PATH", At("no-programs")}});
        QVERIFY2(listing.contains("editor.desktop"), qPrintable(listing.join(' ')));
        QVERIFY2(!listing.contains("terminal.desktop"), qPrintable(listing.join(' ')));
        QCOMPARE(listing.size(), int(listed.size()) - 1);
    }

    // An entry that is no regular file (a FIFO nobody writes) is not read: the listing does not
    // hang on it and gives the other entries. Run in a child with its own XDG world.
    void fifoEntryIsSkipped() {
        const QString dir = At("fifo/applications");
        QDir().mkpath(dir);
        WriteFile(dir + "/ok.desktop", Entry("Ok", QFile::encodeName(At("bin/tool")), ""));
        QVERIFY(::mkfifo(QFile::encodeName(dir + "/stuck.desktop").constData(), 0600) == 0);
        const QStringList listing = ListInChild(
            "--list", {{"XDG_DATA_HOME", At("fifo")}, {"XDG_DATA_DIRS", At("fifo-none")}});
        QCOMPARE(listing, QStringList{"ok.desktop"});
    }

    // A listing that outlasts the time limit gives no reply, and is cancelled: it ends rather
    // than going on in its thread after the answer.
    void timeLimitCancelsTheListing() {
        auto ended = std::make_shared<QSemaphore>();
        LinuxAppMenu menu(200, [ended](const std::atomic<bool> &cancelled) {
            while (!cancelled.load())
                QThread::msleep(5);
            ended->release();
            return AppMenuListing{};
        });
        QVERIFY(!menu.Request("GROUPS"));
        QVERIFY2(ended->tryAcquire(1, 30000), "the listing went on after the time limit");
    }

private:
    // The desktop file names a child lists with these changes to the environment.
    static QStringList ListInChild(const QString &mode,
                                   const QList<QPair<QString, QString>> &changes) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : changes)
            env.insert(name, value);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {mode});
        if (!child.waitForFinished(60000)) {
            child.kill();
            child.waitForFinished();
            return {"<no answer>"};
        }
        QStringList files =
            QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        files.sort();
        return files;
    }
};

int main(int argc, char **argv) {
    if (argc == 2 && qstrcmp(argv[1], "--list") == 0) {
        for (const AppMenuEntry &e : ListAppMenuEntries())
            printf("%s\n", qPrintable(QFileInfo(e.desktopFile).fileName()));
        return 0;
    }
    QTemporaryDir sandbox;
    if (!sandbox.isValid())
        return 1;
    Sandbox = &sandbox;
    UseXdgSandbox(sandbox, "OrvaneTest");
    WriteFile(At("bin/tool"), "#!/bin/sh\nexit 0\n", true);
    WriteFile(At("bin/x-terminal-emulator"), "#!/bin/sh\nexit 0\n", true);
    WriteFile(At("my bin/spaced tool"), "#!/bin/sh\nexit 0\n", true);
    // `gio mime` takes its candidates from each directory's MIME cache and lists those that GIO
    // finds valid; it lists them only when the type has a default.
    QByteArray homeCache = "[MIME Cache]\n" + QByteArray(kFixtureType) + "=";
    QByteArray systemCache = homeCache;
    for (const Fixture &f : Fixtures()) {
        WriteFile(At(f.system ? "data/applications/" : "home/data/applications/") + f.id, f.text);
        (f.system ? systemCache : homeCache) += QByteArray(f.id) + ";";
    }
    WriteFile(At("home/data/applications/mimeinfo.cache"), homeCache + "\n");
    QDir().mkpath(At("home/data/applications/sub"));
    QFile::link("..", At("home/data/applications/sub/loop"));
    WriteFile(At("data/applications/mimeinfo.cache"), systemCache + "\n");
    WriteFile(At("config/mimeapps.list"),
              "[Default Applications]\n" + QByteArray(kFixtureType) + "=editor.desktop\n");
    QCoreApplication app(argc, argv);
    AppMenuTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appmenu.moc"
