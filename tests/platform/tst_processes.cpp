#include "platform/linux/LinuxProcesses.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QDeadlineTimer>
#include <QScopeGuard>
#include <QThread>
#include <QTemporaryDir>
#include <QtTest>

// A program made for the test: writes its working directory and arguments, one a line, to
// the file named by its first argument, then waits until the file named by its second exists.
static const char Recorder[] = "#!/bin/sh\n"
                               "out=$1; stop=$2; shift 2\n"
                               "{ pwd -P; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } "
                               "> \"$out.part\" && mv \"$out.part\" \"$out\"\n"
                               "while [ ! -e \"$stop\" ]; do sleep 0.02; done\n";

class TestProcesses : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void startsWithWordsAndDirectory_data();
    void startsWithWordsAndDirectory();
    void failedStarts_data();
    void failedStarts();
    void everyChildIsReaped();
    void endIsToldFromTheEventLoopOnly();
    void barsOwnStartupIdentityIsNotPassedOn();
    void startupMessageIds_data();
    void startupMessageIds();

private:
    QString recorder_;
    QTemporaryDir dir_;
};

// The ID a program's "remove:" names, however it quotes it.
void TestProcesses::startupMessageIds_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("id");
    QTest::newRow("plain") << QByteArray("remove: ID=orvane-1-host-gedit-3") << QByteArray("orvane-1-host-gedit-3");
    QTest::newRow("quoted") << QByteArray("remove: ID=\"orvane-1\"") << QByteArray("orvane-1");
    QTest::newRow("escapes") << QByteArray("remove: ID=\"a \\\"b\\\\\"") << QByteArray("a \"b\\");
    QTest::newRow("after other keys") << QByteArray("remove: SCREEN=0 NAME=\"x y\" ID=z") << QByteArray("z");
    QTest::newRow("ID inside another value") << QByteArray("remove: NAME=\"ID=z\"") << QByteArray();
    QTest::newRow("no keys") << QByteArray("remove:") << QByteArray();
    QTest::newRow("no value") << QByteArray("remove: ID") << QByteArray();
}

void TestProcesses::startupMessageIds() {
    QFETCH(QByteArray, message);
    QTEST(StartupMessageId(message), "id");
}

void TestProcesses::initTestCase() {
    QVERIFY(dir_.isValid());
    recorder_ = dir_.filePath(QStringLiteral("record"));
    QFile file(recorder_);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Recorder);
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("work dir")));
}

static bool Exists(pid_t pid) {
    return QFile::exists(QStringLiteral("/proc/%1").arg(pid));
}

void TestProcesses::startsWithWordsAndDirectory_data() {
    QTest::addColumn<QString>("arguments"); // after the recorder's own two
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("none") << "" << QStringList{};
    QTest::newRow("quoted blanks") << R"('two  words' "dq \"x\"" plain\ blank)"
                                   << QStringList{"two  words", "dq \"x\"", "plain blank"};
    QTest::newRow("nothing expanded")
        << R"($HOME ~ *.txt `id` ; |)" << QStringList{"$HOME", "~", "*.txt", "`id`", ";", "|"};
    QTest::newRow("non-ascii") << QStringLiteral(u"Büro/€.txt") << QStringList{u"Büro/€.txt"_qs};
    // A shell would take these for a comment and drop them with all that follows.
    QTest::newRow("words led by #") << "#draft.txt #1 a#b '#q' last"
                                    << QStringList{"#draft.txt", "#1", "a#b", "#q", "last"};
}

void TestProcesses::startsWithWordsAndDirectory() {
    QFETCH(QString, arguments);
    QFETCH(QStringList, expected);
    const QString out = dir_.filePath(QStringLiteral("out-%1").arg(QTest::currentDataTag()));
    const QString stop = out + QStringLiteral(".stop");
    const QString work = dir_.filePath(QStringLiteral("work dir"));
    const QString before = QDir::currentPath();

    LinuxProcesses processes;
    QVERIFY(processes.SetCurrentDirectory(work));
    QCOMPARE(processes.CurrentDirectory(), work);
    const ProcessStart start =
        processes.Start(recorder_ + " '" + out + "' '" + stop + "' " + arguments);
    QDir::setCurrent(before);
    QVERIFY2(start.started, qPrintable(start.error));
    // The recorder ends even when a comparison below fails.
    const auto release = qScopeGuard([&stop] { QFile(stop).open(QIODevice::WriteOnly); });

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 30000);
    QVERIFY(processes.IsRunning(start.handle));
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeLast(); // after the last newline
    QCOMPARE(lines.takeFirst(), QDir(work).canonicalPath());
    QCOMPARE(lines, expected);

    QFile(stop).open(QIODevice::WriteOnly);
    QTRY_VERIFY_WITH_TIMEOUT(!processes.IsRunning(start.handle), 30000);
}

void TestProcesses::failedStarts_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("error");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("blanks") << "   "
                            << "";
    QTest::newRow("unbalanced quote") << "prog 'open"
                                      << "";
    QTest::newRow("missing program") << "/nonexistent/orvane-program"
                                     << "No such file or directory";
    QTest::newRow("not on PATH") << "orvane-no-such-program-xyz"
                                 << "No such file or directory";
    QTest::newRow("not executable") << "NOTEXEC"
                                    << "Permission denied";
    // A C string would end at the NUL: the program would run with a cut command line.
    QTest::newRow("NUL") << QString("/bin/echo a") + QChar(0) + "b"
                         << "the command line holds a NUL character, which cannot be passed to a program";
}

void TestProcesses::failedStarts() {
    QFETCH(QString, commandLine);
    QFETCH(QString, error);
    const QString plain = dir_.filePath(QStringLiteral("plain.txt"));
    QFile(plain).open(QIODevice::WriteOnly);
    commandLine.replace(QStringLiteral("NOTEXEC"), plain);

    LinuxProcesses processes;
    const ProcessStart start = processes.Start(commandLine);
    QVERIFY(!start.started);
    QVERIFY(!start.error.isEmpty()); // the message box says why
    if (!error.isEmpty())
        QCOMPARE(start.error, error);
    QVERIFY(!processes.IsRunning(start.handle));
}

// Nobody needs to ask about a child for it to be reaped: launches from the recently launched
// list are never watched, and must not leave zombies behind.
void TestProcesses::everyChildIsReaped() {
    LinuxProcesses processes;
    const QString out = dir_.filePath(QStringLiteral("reaped"));
    const QString stop = out + QStringLiteral(".stop");
    const ProcessStart start = processes.Start(recorder_ + ' ' + out + ' ' + stop);
    QVERIFY2(start.started, qPrintable(start.error));
    const pid_t pid = processes.Pid(start.handle);
    QVERIFY(pid > 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 30000);
    QVERIFY(Exists(pid));

    QFile(stop).open(QIODevice::WriteOnly);
    QTRY_VERIFY_WITH_TIMEOUT(!Exists(pid), 30000); // gone, not a zombie
    QVERIFY(!processes.IsRunning(start.handle));
}

// Asking whether a program runs only looks; its end is told once, from the event loop, so the
// bar can act on it at once without being called back from inside its own question.
void TestProcesses::endIsToldFromTheEventLoopOnly() {
    LinuxProcesses processes;
    int told = 0;
    processes.OnEnded = [&told](qint64) { ++told; };
    const ProcessStart start = processes.Start(QStringLiteral("/bin/true"));
    QVERIFY2(start.started, qPrintable(start.error));
    const pid_t pid = processes.Pid(start.handle);
    QDeadlineTimer deadline(30000);
    while (processes.IsRunning(start.handle) && !deadline.hasExpired())
        QThread::msleep(5); // no events processed
    QVERIFY(!processes.IsRunning(start.handle));
    QCOMPARE(told, 0);
    QVERIFY(Exists(pid)); // ended, not yet reaped

    QTRY_COMPARE_WITH_TIMEOUT(told, 1, 30000);
    QVERIFY(!processes.IsRunning(start.handle));
    QCoreApplication::processEvents();
    QCOMPARE(told, 1);
    QTRY_VERIFY_WITH_TIMEOUT(!Exists(pid), 30000);
}

// The bar may have been started with a startup identity of its own (X11's or Wayland's): it was
// used up by the bar's own first window, and a program the bar starts (here without a display,
// so without an identity of its own) must not present it as its own.
void TestProcesses::barsOwnStartupIdentityIsNotPassedOn() {
    qputenv("DESKTOP_STARTUP_ID", "bar-start-1");
    qputenv("XDG_ACTIVATION_TOKEN", "bar-token-1");
    const auto restore = qScopeGuard([] {
        qunsetenv("DESKTOP_STARTUP_ID");
        qunsetenv("XDG_ACTIVATION_TOKEN");
    });
    const QString out = dir_.filePath(QStringLiteral("identity"));
    LinuxProcesses processes;
    const ProcessStart start = processes.Start(
        "/bin/sh -c 'printf \"%s\\n\" \"${DESKTOP_STARTUP_ID-unset}\" \"${XDG_ACTIVATION_TOKEN-unset}\" > \"$0.part\" "
        "&& mv \"$0.part\" \"$0\"' '" + out + "'");
    QVERIFY2(start.started, qPrintable(start.error));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 30000);
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("unset\nunset\n"));
}

QTEST_GUILESS_MAIN(TestProcesses)
#include "tst_processes.moc"
