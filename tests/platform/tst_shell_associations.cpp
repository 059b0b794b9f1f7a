#include "platform/linux/LinuxShell.h"

#include "XdgSandbox.h"
#include "commandline/CommandLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The whole XDG world of this test: applications, the default choices, programs. GIO reads it
// once, so main points the environment here before anything else runs.
static QTemporaryDir *Sandbox;

static QString At(const QString &relative) {
    return Sandbox->filePath(relative);
}

static bool WriteFile(const QString &path, const QByteArray &bytes, bool executable = false) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return !executable || file.setPermissions(file.permissions() | QFile::ExeOwner);
}

static QByteArray Entry(const QString &exec, const QByteArray &mimeTypes) {
    return "[Desktop Entry]\nType=Application\nName=Fake\nExec=" + exec.toUtf8() +
           "\nMimeType=" + mimeTypes + "\n";
}

// The default application `gio mime` names for a type ("" when none).
static QString GioDefault(const QString &type) {
    QProcess gio;
    gio.start(QStringLiteral("gio"), {QStringLiteral("mime"), type});
    if (!gio.waitForFinished(30000))
        return QStringLiteral("<gio failed>");
    const QString output = QString::fromUtf8(gio.readAllStandardOutput());
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^Default application for .*: (\\S+)$"),
                           QRegularExpression::MultilineOption)
            .match(output);
    return match.captured(1);
}


class TestShellAssociations : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void findExecutable_data();
    void findExecutable();
    void agreesWithGio_data();
    void agreesWithGio();
    void noTerminal_data();
    void noTerminal();
};

void TestShellAssociations::initTestCase() {
    const QByteArray script = "#!/bin/sh\nexit 0\n";
    QVERIFY(WriteFile(At("bin/fakeedit"), script, true));
    QVERIFY(WriteFile(At("my apps/fake view"), script, true));
    QVERIFY(WriteFile(At("bin/fakefm"), script, true));
    QVERIFY(WriteFile(At("data/applications/fakeedit.desktop"),
                      Entry(At("bin/fakeedit") + " --new %F", "text/plain;")));
    QVERIFY(WriteFile(At("data/applications/fakeview.desktop"),
                      Entry("\"" + At("my apps/fake view") + "\" %U", "image/png;")));
    QVERIFY(
        WriteFile(At("data/applications/fakefm.desktop"), Entry("fakefm %U", "inode/directory;")));
    QVERIFY(WriteFile(At("config/mimeapps.list"), "[Default Applications]\n"
                                                  "text/plain=fakeedit.desktop\n"
                                                  "image/png=fakeview.desktop\n"
                                                  "inode/directory=fakefm.desktop\n"
                                                  "text/x-log=fakepager.desktop\n"));
    // Entries opened directly rather than as defaults.
    QVERIFY(WriteFile(
        At("entries/codes.desktop"),
        Entry("\"" + At("bin/fakeedit") + "\" \"--title=100%% done\" %i %c %k -x%f", "")));
    QVERIFY(WriteFile(At("entries/icon-codes.desktop"),
                      Entry(At("bin/fakeedit") + " %i --caption %c --file %F", "") +
                          "Icon=fake-icon\n"));
    QVERIFY(WriteFile(At("entries/through-path.desktop"), Entry("fakeedit --from-path %U", "")));
    QVERIFY(WriteFile(At("entries/missing-program.desktop"), Entry("orvane-no-such-program", "")));
    // A program meant for a terminal is given one, as the application menu gives it.
    QVERIFY(WriteFile(At("bin/x-terminal-emulator"), script, true));
    QVERIFY(WriteFile(At("bin/fakepager"), script, true));
    QVERIFY(WriteFile(At("data/applications/fakepager.desktop"),
                      Entry("fakepager --quiet %F", "text/x-log;") + "Terminal=true\n"));
    QVERIFY(WriteFile(At("entries/in-terminal.desktop"),
                      Entry("fakepager %F", "") + "Terminal=true\n"));
    QVERIFY(WriteFile(At("docs/events.log"), "a line\n"));
    QVERIFY(WriteFile(At("entries/link.desktop"),
                      "[Desktop Entry]\nType=Link\nName=Home\nURL=file:///\n"));

    QVERIFY(WriteFile(At("docs/notes.txt"), "some text\n"));
    QVERIFY(WriteFile(At("docs/my notes $1.txt"), "some text\n"));
    QVERIFY(WriteFile(At("docs/picture.png"), QByteArray::fromHex("89504e470d0a1a0a")));
    QVERIFY(WriteFile(At("docs/blob.zzz"), QByteArray("\x00\x01\x02\xff binary", 12)));
    QVERIFY(WriteFile(At("docs/run it.sh"), script, true));
    QVERIFY(WriteFile(At("docs/not-executable.sh"), script, false));
    QVERIFY(QDir().mkpath(At("docs/folder")));
}

void TestShellAssociations::findExecutable_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    const QString edit = At("bin/fakeedit");
    QTest::newRow("document: default application, fixed arguments kept")
        << At("docs/notes.txt") << edit + " --new";
    QTest::newRow("quoted document") << LongPath(At("docs/my notes $1.txt")) << edit + " --new";
    QTest::newRow("program path with a blank")
        << At("docs/picture.png") << LongPath(At("my apps/fake view"));
    QTest::newRow("folder: the file manager") << At("docs/folder") << At("bin/fakefm");
    QTest::newRow("no association") << At("docs/blob.zzz") << QString();
    QTest::newRow("script that is not executable: a kind of text")
        << At("docs/not-executable.sh") << edit + " --new";
    QTest::newRow("executable script") << At("docs/run it.sh") << LongPath(At("docs/run it.sh"));
    QTest::newRow("quoted executable script")
        << LongPath(At("docs/run it.sh")) << LongPath(At("docs/run it.sh"));
    QTest::newRow("ELF program") << QCoreApplication::applicationFilePath()
                                 << LongPath(QCoreApplication::applicationFilePath());
    QTest::newRow("desktop entry: field codes expanded")
        << At("entries/codes.desktop")
        << edit + " '--title=100% done' Fake " + LongPath(At("entries/codes.desktop")) + " -x";
    QTest::newRow("desktop entry: icon and caption")
        << At("entries/icon-codes.desktop") << edit + " --icon fake-icon --caption Fake --file";
    QTest::newRow("desktop entry: program found through PATH")
        << At("entries/through-path.desktop") << edit + " --from-path";
    QTest::newRow("desktop entry: program missing")
        << At("entries/missing-program.desktop") << QString();
    const QString terminal = At("bin/x-terminal-emulator") + " -e ";
    QTest::newRow("document of a terminal program")
        << At("docs/events.log") << terminal + At("bin/fakepager") + " --quiet";
    QTest::newRow("desktop entry of a terminal program")
        << At("entries/in-terminal.desktop") << terminal + At("bin/fakepager");
    QTest::newRow("desktop entry: a link") << At("entries/link.desktop") << QString();
    QTest::newRow("missing file") << At("docs/missing.txt") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestShellAssociations::findExecutable() {
    QFETCH(QString, file);
    QFETCH(QString, expected);
    LinuxShell shell;
    QCOMPARE(shell.FindExecutable(file), expected);
}

void TestShellAssociations::agreesWithGio_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("type");
    QTest::newRow("text") << At("docs/notes.txt") << "text/plain";
    QTest::newRow("picture") << At("docs/picture.png") << "image/png";
    QTest::newRow("folder") << At("docs/folder") << "inode/directory";
    QTest::newRow("unknown data") << At("docs/blob.zzz") << "application/octet-stream";
}

// The program FindExecutable gives is the one of the entry `gio mime` calls the default.
void TestShellAssociations::agreesWithGio() {
    QFETCH(QString, file);
    QFETCH(QString, type);
    if (QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty())
        QSKIP("needs the gio tool (libglib2.0-bin)");
    const QString id = GioDefault(type);
    const QString found = LinuxShell().FindExecutable(file);
    if (id.isEmpty()) {
        QCOMPARE(found, QString());
        return;
    }
    // The entry's program, made absolute as a launcher would find it.
    QFile entry(At("data/applications/") + id);
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QString exec;
    for (const QByteArray &line : entry.readAll().split('\n')) {
        if (line.startsWith("Exec="))
            exec = QString::fromUtf8(line.mid(5));
    }
    const QStringList execWords = SplitCommandLine(exec);
    QVERIFY(!execWords.isEmpty());
    const QString program = QStandardPaths::findExecutable(execWords.first());
    const QStringList words = SplitCommandLine(found);
    QVERIFY(!words.isEmpty());
    QCOMPARE(words.first(), program);
}

void TestShellAssociations::noTerminal_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("refusal"); // empty: no refusal, a command line
    QTest::newRow("desktop entry of a terminal program")
        << At("entries/in-terminal.desktop")
        << "\"Fake\" runs in a terminal, and no terminal program is installed "
           "(x-terminal-emulator or xterm).";
    QTest::newRow("document of a terminal program")
        << At("docs/events.log")
        << "\"Fake\" runs in a terminal, and no terminal program is installed "
           "(x-terminal-emulator or xterm).";
    QTest::newRow("other entries are not refused") << At("entries/codes.desktop") << QString();
}

// On a machine without a terminal program, an entry that needs one gives no command line (its
// program alone would run unseen and end at once) and says why. Run in a child whose PATH has
// no terminal.
void TestShellAssociations::noTerminal() {
    QFETCH(QString, file);
    QFETCH(QString, refusal);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QVERIFY(WriteFile(At("no-terminal/fakepager"), "#!/bin/sh\nexit 0\n", true));
    env.insert("PATH", At("no-terminal")); // the program, and no terminal
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--find", file});
    QVERIFY(child.waitForFinished(30000));
    const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split('\n');
    QCOMPARE(lines.value(1), refusal);
    QCOMPARE(lines.value(0).isEmpty(), !refusal.isEmpty());
}

int main(int argc, char **argv) {
    if (argc == 3 && qstrcmp(argv[1], "--find") == 0) {
        QString refusal;
        const QString found =
            LinuxShell().FindExecutable(QString::fromLocal8Bit(argv[2]), &refusal);
        printf("%s\n%s\n", qPrintable(found), qPrintable(refusal));
        return 0;
    }
    QTemporaryDir sandbox;
    if (!sandbox.isValid())
        return 1;
    Sandbox = &sandbox;
    UseXdgSandbox(sandbox, QByteArray());
    QCoreApplication app(argc, argv);
    TestShellAssociations test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shell_associations.moc"
