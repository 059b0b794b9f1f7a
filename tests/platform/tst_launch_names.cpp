// Awkward file names travel from the bar's command-line words to a really started program
// exactly as they were: no shell, nothing expanded, nothing cut.
#include "commandline/CommandLine.h"
#include "launch/LaunchRules.h"
#include "platform/linux/LinuxProcesses.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Writes its working directory and its arguments after the first two, one a line, to the
// file named by its first argument; then waits until the second exists.
static const char Recorder[] = "#!/bin/sh\n"
                               "out=$1; stop=$2; shift 2\n"
                               "{ pwd -P; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } "
                               "> \"$out.part\" && mv \"$out.part\" \"$out\"\n"
                               "while [ ! -e \"$stop\" ]; do sleep 0.02; done\n";

class LaunchNamesTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString recorder;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir("bin dir"));
        recorder = dir.filePath("bin dir/record 'it'");
        QFile file(recorder);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Recorder);
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void namesArriveWhole_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks") << "my letter  to you.txt";
        QTest::newRow("single quote") << "it's.txt";
        QTest::newRow("double quote") << "say \"hi\".txt";
        QTest::newRow("backslash") << "back\\slash.txt";
        QTest::newRow("command substitution") << "$(touch pwned).txt";
        QTest::newRow("backticks") << "`id`.txt";
        QTest::newRow("semicolon") << "a;b.txt";
        QTest::newRow("hash") << "#notes.txt";
        QTest::newRow("leading dash") << "-rf";
        QTest::newRow("glob") << "*.txt";
        QTest::newRow("non-ASCII") << QString::fromUtf8("Büro €ß.txt");
        QTest::newRow("very long") << QString(200, 'x') + "/" + QString(200, 'y') + "/" + QString(200, 'z');
    }
    void namesArriveWhole() {
        QFETCH(QString, name);
        const QString file = dir.filePath(name);
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QFile touch(file);
        QVERIFY(touch.open(QIODevice::WriteOnly));
        touch.close();
        const QString out = dir.filePath("out");
        const QString stop = dir.filePath("stop");
        QFile::remove(out);
        QFile::remove(stop);
        const QString work = dir.filePath("bin dir");

        LinuxProcesses processes;
        QVERIFY(processes.SetCurrentDirectory(work));
        const QString commandLine = LongPath(recorder) + " " + LongPath(out) + " " + LongPath(stop) +
                                    ChosenFilesParameter({file, file});
        const ProcessStart started = processes.Start(commandLine);
        QVERIFY2(started.started, qPrintable(started.error));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 10000);
        QFile(stop).open(QIODevice::WriteOnly);
        QFile result(out);
        QVERIFY(result.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(result.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, (QStringList{QFileInfo(work).canonicalFilePath(), file, file}));
        QVERIFY(!QFile::exists(dir.filePath("pwned")));
        QTRY_VERIFY_WITH_TIMEOUT(!processes.IsRunning(started.handle), 10000);
    }
};

QTEST_GUILESS_MAIN(LaunchNamesTest)
#include "tst_launch_names.moc"
