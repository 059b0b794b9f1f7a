// The words of command lines: quoting paths, splitting lines, the program file of a stored value.
#include "ProgramValues.h"
#include "commandline/CommandLine.h"

#include <QDir>
#include <QTest>
#include <glib.h>

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void longPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("word");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("plain") << "/usr/bin/gedit"
                               << "/usr/bin/gedit";
        QTest::newRow("cleaned") << "/usr//bin/../bin/gedit"
                                 << "/usr/bin/gedit";
        QTest::newRow("blank") << "/tmp/My Docs/a b.txt"
                               << "'/tmp/My Docs/a b.txt'";
        QTest::newRow("quote") << "/tmp/it's"
                               << "'/tmp/it'\\''s'";
        QTest::newRow("dollar") << "/tmp/$(rm -rf x)"
                                << "'/tmp/$(rm -rf x)'";
        QTest::newRow("semicolon, hash") << "/tmp/a;b#c"
                                         << "'/tmp/a;b#c'";
        QTest::newRow("non-ASCII")
            << QString::fromUtf8("/tmp/Büro") << QString::fromUtf8("/tmp/Büro");
    }
    void longPath() {
        QFETCH(QString, path);
        QFETCH(QString, word);
        QCOMPARE(LongPath(path), word);
        QCOMPARE(UnquotePath(LongPath(path)), path.isEmpty() ? QString() : QDir::cleanPath(path));
    }

    // Words are what GLib's shell parser makes of a line, wherever it has no comment in it.
    void splitAgreesWithGLib_data() {
        QTest::addColumn<QString>("line");
        for (const char *line : {"a b",
                                 "  a\t b\n c ",
                                 "'a b' \"c d\"",
                                 "a\\ b",
                                 "\"a\\\"b\" c",
                                 "'it'\\''s'",
                                 "a\\\nb",
                                 "\"x\\$y\\z\"",
                                 "''",
                                 "a''b \"\"",
                                 "x\\\\y",
                                 "\"a\\\\\" b",
                                 "a#b c#",
                                 "'open",
                                 "\"open",
                                 "\"a\\\"",
                                 "trail\\",
                                 "",
                                 "   ",
                                 "\n"})
            QTest::addRow("[%s]", line) << QString::fromUtf8(line);
    }
    void splitAgreesWithGLib() {
        QFETCH(QString, line);
        gint argc = 0;
        gchar **argv = nullptr;
        QStringList expected;
        if (g_shell_parse_argv(line.toUtf8().constData(), &argc, &argv, nullptr)) {
            for (int i = 0; i < argc; ++i)
                expected << QString::fromUtf8(argv[i]);
            g_strfreev(argv);
        }
        QString error;
        QCOMPARE(SplitCommandLine(line, &error), expected);
        QCOMPARE(error.isEmpty(), !expected.isEmpty());
    }

    // Where GLib would read a comment: a word led by "#" is a word like any other.
    void hashIsAnOrdinaryCharacter_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("typed number") << "/bin/prog #1" << QStringList{"/bin/prog", "#1"};
        QTest::newRow("file and more")
            << "/bin/prog #draft.txt b" << QStringList{"/bin/prog", "#draft.txt", "b"};
        QTest::newRow("after a tab and a line break")
            << "p\t#a\n#b" << QStringList{"p", "#a", "#b"};
        QTest::newRow("program itself") << "#prog x" << QStringList{"#prog", "x"};
        QTest::newRow("quoted") << "p '#x y'" << QStringList{"p", "#x y"};
    }
    void hashIsAnOrdinaryCharacter() {
        QFETCH(QString, line);
        QTEST(SplitCommandLine(line), "words");
    }

    // A line that cannot be passed whole is refused with the reason, never cut.
    void refusedLines_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("reason");
        QTest::newRow("NUL") << QString("/bin/prog a") + QChar(0) + "b"
                             << "NUL";
        QTest::newRow("NUL in quotes") << QString("/bin/prog 'a") + QChar(0) + "'"
                                       << "NUL";
        QTest::newRow("unbalanced quote") << "/bin/prog 'a"
                                          << "quote";
        QTest::newRow("empty") << " "
                               << "empty";
    }
    void refusedLines() {
        QFETCH(QString, line);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(SplitCommandLine(line, &error).isEmpty());
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    void shortName_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("shortName");
        // Stored as a quoted word: an unquoted backslash escapes the next character.
        QTest::newRow("windows program") << "'C:\\WINDOWS\\NOTEPAD.EXE' "
                                         << "NOTEPAD";
        QTest::newRow("linux program") << "/usr/bin/gedit "
                                       << "gedit";
        QTest::newRow("quoted") << "'/opt/My App/run.sh' "
                                << "run";
        QTest::newRow("leading dot") << "/home/u/.hidden"
                                     << ".hidden";
        QTest::newRow("two dots") << "/x/archive.tar.gz"
                                  << "archive.tar";
    }
    void shortName() {
        QFETCH(QString, program);
        QTEST(ShortName(program), "shortName");
    }

    // Every user of a stored program value takes the program file from it, not the whole text.
    void programValues_data() { programvalues::AddRows("/r"); }
    void programValues() {
        QFETCH(QString, stored);
        QTEST(ProgramFile(stored), "file");
        QTEST(ProgramDirectory(stored), "directory");
        QTEST(ShortName(stored), "shortName");
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
