// "Start with the Desktop": the autostart entry it writes starts this copy with its profile, and
// ticking and unticking the item against each state of the entry.
#include "FakePlatform.h"
#include "app/Autostart.h"
#include "app/Icons.h"
#include "prefs/Lockout.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <glib.h>
#include <memory>
#include <unistd.h>

namespace {
QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}
void WriteFile(const QString &path, const QByteArray &text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// The command a desktop runs for an entry's Exec key: the key file's string escapes undone,
// "%%" made "%", then split into words as the desktop entry rules quote them.
QStringList ExecWords(const QByteArray &entry) {
    g_autoptr(GKeyFile) keys = g_key_file_new();
    if (!g_key_file_load_from_data(keys, entry.constData(), entry.size(), G_KEY_FILE_NONE, nullptr))
        return {QStringLiteral("<not a key file>")};
    g_autofree gchar *exec = g_key_file_get_string(keys, "Desktop Entry", "Exec", nullptr);
    if (!exec)
        return {QStringLiteral("<no Exec>")};
    const QByteArray line = QByteArray(exec).replace("%%", "%");
    gchar **argv = nullptr;
    if (!g_shell_parse_argv(line.constData(), nullptr, &argv, nullptr))
        return {QStringLiteral("<unbalanced quotes>")};
    QStringList words;
    for (gchar **w = argv; *w; ++w)
        words << QString::fromUtf8(*w);
    g_strfreev(argv);
    return words;
}

// The arguments of a profile on the command line.
ProfileChoice ProfileOf(const QStringList &arguments) {
    return ProfileFromArguments(arguments, [] { return QStringLiteral("login"); });
}

// "file name|argument|...": an entry the bar wrote that starts the bar with those arguments.
void WriteEntries(const QString &dir, const QStringList &entries) {
    for (const QString &entry : entries) {
        QStringList parts = entry.split('|');
        const QString file = parts.takeFirst();
        WriteFile(dir + "/" + file,
                  autostart::EntryText(autostart::ExecValue("/usr/bin/orvane", ProfileOf(parts))));
    }
}
// Every file in dir, as WriteEntries takes them (the program left out).
QStringList Entries(const QString &dir) {
    QStringList entries;
    for (const QString &file : QDir(dir).entryList(QDir::Files, QDir::Name)) {
        QStringList words = ExecWords(ReadAll(dir + "/" + file));
        words.removeFirst();
        entries << (QStringList{file} + words).join('|');
    }
    return entries;
}

const QByteArray kHandWritten = "[Desktop Entry]\nType=Application\nName=My bar\nExec=orvane Work\n";
} // namespace

class AutostartTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;
    std::unique_ptr<TForm1> form;

    // The profile's data file, saying that changes are not locked.
    void Unlock(const QString &profile) {
        lockout::WriteScrambled(fake->SettingsDirectory() + "OV" + profile + ".DAT",
                                lockout::Encrypt(lockout::kUnlockedMarker));
    }

private slots:
    void cleanup() {
        form.reset();
        if (fake)
            QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    // The entry starts the running program with the profile exactly as typed, whatever
    // characters the profile name or the program's path hold.
    void execStartsThisCopy_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("shared");
        QTest::addColumn<QStringList>("expected");
        const QString bin = QStringLiteral("/usr/bin/orvane");
        QTest::newRow("no profile") << bin << "" << false << QStringList{bin};
        QTest::newRow("plain profile") << bin << "Work" << false << QStringList{bin, "Work"};
        QTest::newRow("shared") << bin << "Work" << true << QStringList{bin, "/m", "Work"};
        QTest::newRow("shared, no profile") << bin << "" << true << QStringList{bin, "/m"};
        QTest::newRow("blanks") << bin << "My Work  Bar" << true
                                << QStringList{bin, "/m", "My Work  Bar"};
        QTest::newRow("quotes") << bin << R"(Bob's "best")" << false
                                << QStringList{bin, R"(Bob's "best")"};
        QTest::newRow("backslash, dollar, backquote") << bin << R"(a\b $HOME `x`)" << false
                                                      << QStringList{bin, R"(a\b $HOME `x`)"};
        QTest::newRow("percent") << bin << "100%f" << false << QStringList{bin, "100%f"};
        QTest::newRow("shell characters") << bin << "a;b|c&d>e<f*g?h#(i)~" << false
                                          << QStringList{bin, "a;b|c&d>e<f*g?h#(i)~"};
        QTest::newRow("tab and new line") << bin << "a\tb\nc" << false
                                          << QStringList{bin, "a\tb\nc"};
        QTest::newRow("not ASCII") << bin << "Büro" << false << QStringList{bin, "Büro"};
        const QString spaced = QStringLiteral("/home/me/my builds/orvane");
        QTest::newRow("program path with a blank") << spaced << "Work" << false
                                                   << QStringList{spaced, "Work"};
    }
    void execStartsThisCopy() {
        QFETCH(QString, program);
        QFETCH(QString, profile);
        QFETCH(bool, shared);
        QFETCH(QStringList, expected);
        const QByteArray entry =
            autostart::EntryText(autostart::ExecValue(program, ProfileChoice{profile, shared}));
        QCOMPARE(ExecWords(entry), expected);

        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty())
            return;
        QTemporaryDir dir;
        const QString path = dir.filePath("io.orvane.Orvane.desktop");
        WriteFile(path, entry);
        QProcess check;
        check.start(validator, {path});
        QVERIFY(check.waitForFinished());
        QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
    }

    // The item against each state of the entry. The item shows the state it had when the menu
    // was opened; the click asks for the other one.
    void item_data() {
        QTest::addColumn<QString>("state");   // absent, ours, foreign, unwritable
        QTest::addColumn<bool>("tick");
        QTest::addColumn<bool>("answerYes");  // to "not written by Orvane. Remove it?"
        QTest::addColumn<QString>("after");   // absent, ours (this copy's), foreign, unchanged
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<bool>("error");
        QTest::newRow("absent, tick: written") << "absent" << true << false << "ours" << true << false;
        QTest::newRow("absent, untick: nothing") << "absent" << false << false << "absent" << false << false;
        QTest::newRow("ours from another program path, tick: rewritten for this copy")
            << "ours" << true << false << "ours" << true << false;
        QTest::newRow("ours, untick: removed") << "ours" << false << false << "absent" << false << false;
        QTest::newRow("foreign, tick: left alone") << "foreign" << true << false << "foreign" << true << false;
        QTest::newRow("foreign, untick, yes: removed") << "foreign" << false << true << "absent" << false << false;
        QTest::newRow("foreign, untick, no: kept") << "foreign" << false << false << "foreign" << true << false;
        QTest::newRow("unwritable, tick: reported, nothing written")
            << "unwritable" << true << false << "unchanged" << false << true;
        QTest::newRow("unwritable, untick: reported, entry kept")
            << "unwritable" << false << true << "unchanged" << true << true;
    }
    void item() {
        QFETCH(QString, state);
        QFETCH(bool, tick);
        QFETCH(bool, answerYes);
        QFETCH(QString, after);
        QFETCH(bool, ticked);
        QFETCH(bool, error);
        fake = std::make_unique<FakePlatform>(nullptr, QStringList{"/m", "Big Bar"});
        fake->WriteIni("[Location]\nTop=100\nButtonCount=16\nUser=tester\n", "Big Bar");
        Unlock("Big Bar"); // the lock holds the item still
        const QString config = fake->configDir.path();
        const QString path = config + "/autostart/io.orvane.Orvane-shared-Big_20Bar.desktop";
        const QByteArray ours = autostart::EntryText(
            autostart::ExecValue(QCoreApplication::applicationFilePath(), ProfileChoice{"Big Bar", true}));
        QStringList removable; // what the test must make writable again to clean up
        if (state == "ours") {
            WriteFile(path, autostart::EntryText(
                                autostart::ExecValue("/usr/bin/orvane", {"Big Bar", true})));
        } else if (state == "foreign") {
            WriteFile(path, kHandWritten);
        } else if (state == "unwritable" && tick) {
            WriteFile(config + "/autostart", "a file where the directory belongs");
        } else if (state == "unwritable") {
            if (::geteuid() != 0) {
                WriteFile(path, ours);
                QFile::setPermissions(config + "/autostart", QFile::ReadOwner | QFile::ExeOwner);
                removable << config + "/autostart";
            } else {
                // Root removes files from read-only directories: a directory in the entry's place
                // cannot be removed either. It is no entry of ours, so the bar asks first.
                WriteFile(path + "/inside", "x");
                fake->dialogs.ExpectQuestion("not written by Orvane", answerYes);
            }
        }
        if (state == "foreign" && !tick)
            fake->dialogs.ExpectQuestion("not written by Orvane", answerYes);
        if (error)
            fake->dialogs.ExpectError("Unable to write to " + path);
        const QByteArray before = ReadAll(path);

        form = std::make_unique<TForm1>(fake->Get());
        QAction *item = form->Items().setup.StartWithDesktop1;
        QVERIFY(item && item->isCheckable());
        QCOMPARE(item->isChecked(), state == "ours" || state == "foreign" || (state == "unwritable" && !tick));
        item->setChecked(!tick);
        item->trigger();

        const QByteArray now = ReadAll(path);
        for (const QString &dir : removable)
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(item->isChecked(), ticked);
        if (after == "absent")
            QVERIFY(!QFileInfo::exists(path));
        else if (after == "ours")
            QCOMPARE(now, ours);
        else if (after == "foreign")
            QCOMPARE(now, kHandWritten);
        else
            QCOMPARE(now, before);
        if (after == "ours")
            QCOMPARE(ExecWords(now),
                     (QStringList{QCoreApplication::applicationFilePath(), "/m", "Big Bar"}));
    }

    // The entry can come and go while the bar runs (another copy, the desktop's own settings):
    // the tick follows it each time the menu opens.
    void tickFollowsTheEntryWhenTheMenuOpens() {
        fake = std::make_unique<FakePlatform>(nullptr, QStringList{"Work"});
        fake->WriteIni("[Location]\nTop=100\nButtonCount=16\nUser=tester\n", "Work");
        Unlock("Work"); // the lock holds the item still
        const QString path = fake->configDir.path() + "/autostart/io.orvane.Orvane-Work.desktop";
        form = std::make_unique<TForm1>(fake->Get());
        QAction *item = form->Items().setup.StartWithDesktop1;
        auto *menu = form->findChild<QMenu *>("PopupMenu3");
        QVERIFY(item && menu && menu->actions().contains(item));
        QVERIFY(!item->isChecked());

        WriteFile(path, kHandWritten);
        emit menu->aboutToShow();
        QVERIFY(item->isChecked());

        QVERIFY(QFile::remove(path));
        emit menu->aboutToShow();
        QVERIFY(!item->isChecked());
    }

    // Each profile (and shared mode) has a file of its own; the default profile keeps the name
    // every version used. Any name makes one plain file name, and no two profiles share one.
    void fileNames_data() {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("shared");
        QTest::addColumn<QString>("file");
        QTest::newRow("default") << "" << false << "io.orvane.Orvane.desktop";
        QTest::newRow("shared, no name") << "" << true << "io.orvane.Orvane-shared-.desktop";
        QTest::newRow("plain") << "Work" << false << "io.orvane.Orvane-Work.desktop";
        QTest::newRow("plain, shared") << "Work" << true << "io.orvane.Orvane-shared-Work.desktop";
        QTest::newRow("looks like shared")
            << "shared-Work" << false << "io.orvane.Orvane-shared_2DWork.desktop";
        QTest::newRow("slash and dots")
            << "../a/b" << false << "io.orvane.Orvane-_2E_2E_2Fa_2Fb.desktop";
        QTest::newRow("escape character") << "_2F" << false << "io.orvane.Orvane-_5F2F.desktop";
        QTest::newRow("blank and new line")
            << "a b\nc" << false << "io.orvane.Orvane-a_20b_0Ac.desktop";
        QTest::newRow("not ASCII") << "Büro" << false << "io.orvane.Orvane-B_C3_BCro.desktop";
    }
    void fileNames() {
        QFETCH(QString, profile);
        QFETCH(bool, shared);
        QFETCH(QString, file);
        QCOMPARE(autostart::EntryPath("/home/me/.config", ProfileChoice{profile, shared}),
                 "/home/me/.config/autostart/" + file);
    }
    void longAndNearNamesGetFilesOfTheirOwn() {
        const QString longName(240, QChar(0x00FC)); // 480 bytes of UTF-8
        const QList<ProfileChoice> profiles{
            {"", false},         {"", true},           {"a", false},      {"a", true},
            {"A", false},        {"a_", false},        {"a ", false},     {"a-", false},
            {"shared-a", false}, {"-shared-a", false}, {longName, false}, {longName + "x", false},
            {longName, true}};
        QSet<QString> files;
        for (const ProfileChoice &profile : profiles) {
            const QString path = autostart::EntryPath("/c", profile);
            const QString file = path.mid(QStringLiteral("/c/autostart/").size());
            QVERIFY2(!file.contains('/') && file.toUtf8().size() <= 255, qPrintable(file));
            QVERIFY2(!files.contains(file), qPrintable(file));
            files << file;
        }
    }

    // Ticking or unticking the item in one profile leaves the entries of the others as they
    // were, in their own files; an older version's single entry is taken for the profile it
    // starts only.
    void profilesKeepTheirOwnEntries_data() {
        QTest::addColumn<QStringList>("arguments"); // of this copy
        QTest::addColumn<QStringList>("before");    // entries, as WriteEntries takes them
        QTest::addColumn<bool>("shownTicked");
        QTest::addColumn<bool>("tick");
        QTest::addColumn<QStringList>("after");
        const QString older = "io.orvane.Orvane.desktop"; // every profile's, in older versions
        const QString home = "io.orvane.Orvane-Home.desktop|Home";
        const QString work = "io.orvane.Orvane-Work.desktop|Work";
        const QString workShared = "io.orvane.Orvane-shared-Work.desktop|/m|Work";
        QTest::newRow("another's entry, tick")
            << QStringList{"Work"} << QStringList{home} << false << true << QStringList{home, work};
        QTest::newRow("both, untick")
            << QStringList{"Work"} << QStringList{home, work} << true << false << QStringList{home};
        QTest::newRow("the same name shared, tick")
            << QStringList{"Work"} << QStringList{workShared} << false << true
            << QStringList{work, workShared};
        QTest::newRow("the same name not shared, untick")
            << QStringList{"/m", "Work"} << QStringList{work, workShared} << true << false
            << QStringList{work};
        QTest::newRow("default profile, another's older entry: not its own")
            << QStringList{} << QStringList{older + "|Work"} << false << false
            << QStringList{older + "|Work"};
        QTest::newRow("default profile, another's older entry, tick: moved to its own file")
            << QStringList{} << QStringList{older + "|Work"} << false << true
            << QStringList{older, work};
        QTest::newRow("default profile, another's older entry beside its own, tick")
            << QStringList{} << QStringList{older + "|Work", work} << false << true
            << QStringList{older, work};
        QTest::newRow("default profile, tick beside others")
            << QStringList{} << QStringList{home, workShared} << false << true
            << QStringList{older, home, workShared};
        QTest::newRow("default profile, untick beside others")
            << QStringList{} << QStringList{older, home} << true << false << QStringList{home};
        QTest::newRow("older entry of this profile, tick: moved to its own file")
            << QStringList{"Work"} << QStringList{older + "|Work"} << true << true
            << QStringList{work};
        QTest::newRow("older entry of this profile, untick: removed")
            << QStringList{"Work"} << QStringList{older + "|Work", home} << true << false
            << QStringList{home};
        QTest::newRow("older entry of another profile, tick")
            << QStringList{"Work"} << QStringList{older + "|Home"} << false << true
            << QStringList{older + "|Home", work};
        QTest::newRow("older entry of another profile, untick")
            << QStringList{"Work"} << QStringList{older + "|/m|Work"} << false << false
            << QStringList{older + "|/m|Work"};
    }
    void profilesKeepTheirOwnEntries() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, before);
        QFETCH(bool, shownTicked);
        QFETCH(bool, tick);
        QFETCH(QStringList, after);
        fake = std::make_unique<FakePlatform>(nullptr, arguments);
        const ProfileChoice profile = ProfileOf(arguments);
        fake->WriteIni("[Location]\nTop=100\nButtonCount=16\nUser=tester\n", profile.name);
        Unlock(profile.name); // the lock holds the item still
        const QString dir = fake->configDir.path() + "/autostart";
        WriteEntries(dir, before);

        form = std::make_unique<TForm1>(fake->Get());
        QAction *item = form->Items().setup.StartWithDesktop1;
        QCOMPARE(item->isChecked(), shownTicked);
        item->setChecked(!tick);
        item->trigger();

        QCOMPARE(item->isChecked(), tick);
        // This copy's entry starts this program; the others keep theirs.
        const QStringList thisCopy =
            ProfileOf(arguments).shared ? QStringList{"/m"} : QStringList{};
        QStringList expected;
        for (QString entry : after) {
            if (!entry.contains('|'))
                entry = (QStringList{entry} + thisCopy +
                         (profile.name.isEmpty() ? QStringList{} : QStringList{profile.name}))
                            .join('|');
            expected << entry;
        }
        expected.sort();
        QCOMPARE(Entries(dir), expected);
        const QString own = autostart::EntryPath(fake->configDir.path(), profile);
        if (tick)
            QCOMPARE(ExecWords(ReadAll(own)).value(0), QCoreApplication::applicationFilePath());
    }
};

QTEST_MAIN(AutostartTest)
#include "tst_autostart.moc"
