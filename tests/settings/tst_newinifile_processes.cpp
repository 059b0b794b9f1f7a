// Several processes sharing one settings file: concurrent writers, and a writer killed while
// rewriting. The test program runs itself again as the other processes (see main()).

#include "settings/NewIniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kGenerationKeys = 30;

// Child: writes count keys prefix1..prefixN to "Shared", one object and one change at a time
// as the window does, or ten at a time in transactions.
int RunWriter(const QString &path, const QString &prefix, int count, bool transactional) {
    try {
        for (int i = 1; i <= count;) {
            std::optional<SettingsTransaction> transaction;
            if (transactional)
                transaction.emplace(TNewIniFile(path));
            for (int end = transactional ? i + 10 : i + 1; i < end && i <= count; ++i)
                TNewIniFile(path).WriteString("Shared", prefix + QString::number(i),
                                              QString::number(i));
            if (transaction)
                transaction->Commit();
        }
    } catch (const SettingsWriteError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

// Child: rewrites the file over and over until killed; every rewrite gives all keys of "Gen"
// the next generation number.
int RunGenerations(const QString &path) {
    TNewIniFile ini(path);
    for (bool first = true;; first = false) {
        const int generation = ini.ReadInteger("Gen", "Number", 0) + 1;
        SettingsTransaction transaction(ini);
        ini.WriteInteger("Gen", "Number", generation);
        for (int k = 1; k <= kGenerationKeys; ++k)
            ini.WriteInteger("Gen", "K" + QString::number(k), generation);
        transaction.Commit();
        if (first) {
            std::printf("running\n");
            std::fflush(stdout);
        }
    }
}

QByteArray FullBarFile() {
    static const char *const sections[] = {"Programs",    "Parameters", "Icons",  "IconSelection",
                                           "Names",       "Shrink",     "Select", "Working",
                                           "SoundSelect", "SoundLaunch"};
    QByteArray out = "[Location]\r\nTop=300\r\nButtonCount=21\r\n[Gen]\r\nNumber=0\r\n";
    for (const char *section : sections) {
        out += QByteArray("[") + section + "]\r\n";
        for (int n = 1; n <= 420; ++n)
            out += "SpeedButton" + QByteArray::number(n) + "=C:\\PROGRA~1\\APP" +
                   QByteArray::number(n) + "\\" + section + ".EXE\r\n";
    }
    return out;
}

} // namespace

class TestNewIniFileProcesses : public QObject {
    Q_OBJECT

private:
    QStringList LeftFiles(const QTemporaryDir &dir) const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private slots:
    void concurrentWriters_data() {
        QTest::addColumn<bool>("firstTransactional");
        QTest::addColumn<bool>("secondTransactional");
        QTest::newRow("single changes") << false << false;
        QTest::newRow("transactions") << true << true;
        QTest::newRow("one of each") << true << false;
    }

    // Two copies writing different keys at the same time never lose each other's changes.
    void concurrentWriters() {
        QFETCH(bool, firstTransactional);
        QFETCH(bool, secondTransactional);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("OV.INI");
        QFile seed(path);
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write("[Location]\r\nTop=1\r\n[Shared]\r\n");
        seed.close();

        constexpr int kKeys = 200;
        QProcess first, second;
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString self = QCoreApplication::applicationFilePath();
        auto arguments = [&](const char *prefix, bool transactional) {
            return QStringList{"--writer", path, prefix, QString::number(kKeys),
                               transactional ? "1" : "0"};
        };
        first.start(self, arguments("A", firstTransactional));
        second.start(self, arguments("B", secondTransactional));
        QVERIFY(first.waitForFinished(120000));
        QVERIFY(second.waitForFinished(120000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 0);

        const TNewIniFile ini(path);
        for (int i = 1; i <= kKeys; ++i) {
            QCOMPARE(ini.ReadString("Shared", "A" + QString::number(i), "missing"),
                     QString::number(i));
            QCOMPARE(ini.ReadString("Shared", "B" + QString::number(i), "missing"),
                     QString::number(i));
        }
        QCOMPARE(ini.ReadInteger("Location", "Top", 0), 1);
        QFile result(path);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll().count("\r\n"), 3 + 2 * kKeys); // nothing twice
        QCOMPARE(LeftFiles(dir), (QStringList{"OV.INI", "OV.INI.lock"}));
    }

    // A writer killed at any moment of a rewrite leaves the file whole: one generation in all
    // its keys, the rest of the file intact. A killed writer may leave its temporary file; the
    // next writer removes it.
    void killedWriterLeavesWholeFile() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("OV.INI");
        QFile seed(path);
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write(FullBarFile());
        seed.close();

        QRandomGenerator random(20240601);
        int lastGeneration = 0;
        int leftovers = 0;
        for (int round = 0; round < 12; ++round) {
            QProcess writer;
            writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writer.start(QCoreApplication::applicationFilePath(), {"--generations", path});
            QVERIFY(writer.waitForReadyRead(30000));
            QCOMPARE(writer.readLine(), QByteArray("running\n"));
            QThread::usleep(random.bounded(40000));
            writer.kill();
            QVERIFY(writer.waitForFinished(30000));

            const TNewIniFile ini(path);
            const int generation = ini.ReadInteger("Gen", "Number", -1);
            QVERIFY2(generation > lastGeneration, qPrintable(QString::number(generation)));
            lastGeneration = generation;
            for (int k = 1; k <= kGenerationKeys; ++k)
                QCOMPARE(ini.ReadInteger("Gen", "K" + QString::number(k), -1), generation);
            for (int n : {1, 210, 420})
                QCOMPARE(ini.ReadString("Working", "SpeedButton" + QString::number(n), ""),
                         "C:\\PROGRA~1\\APP" + QString::number(n) + "\\Working.EXE");

            QStringList files = LeftFiles(dir);
            files.removeOne("OV.INI");
            files.removeOne("OV.INI.lock");
            QVERIFY2(files.size() <= 1, qPrintable(files.join(u' ')));
            if (!files.isEmpty()) {
                QVERIFY2(files[0].startsWith("OV.INI.tmp."), qPrintable(files[0]));
                ++leftovers;
            }
        }
        qInfo("%d of 12 kills left a temporary file behind", leftovers);

        TNewIniFile(path).WriteString("Gen", "Checked", "Yes");
        QCOMPARE(LeftFiles(dir), (QStringList{"OV.INI", "OV.INI.lock"}));
    }
};

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 6 && args[1] == u"--writer")
        return RunWriter(args[2], args[3], args[4].toInt(), args[5] == u"1");
    if (args.size() == 3 && args[1] == u"--generations")
        return RunGenerations(args[2]);
    TestNewIniFileProcesses test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_newinifile_processes.moc"
