// Several processes sharing one settings file: concurrent writers, a writer killed while
// rewriting, and a program that edits the file without the lock while copies write. The test
// program runs itself again as the other processes (see main()).

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
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kGenerationKeys = 30;

void AppendSection(const QByteArray &path, int number) {
    const QByteArray section =
        "[Outside" + QByteArray::number(number) + "]\nValue=" + QByteArray::number(number) + "\n";
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        if (::write(fd, section.constData(), size_t(section.size())) != section.size())
            std::perror("append");
        ::close(fd);
    }
}

// A program that edits the settings file in place without the lock, at the worst moment: while
// armed, each flush of a new settings file (the step before its rename), or each rename, lets
// it make an edit: append a section [OutsideN], or write N in three digits of the file through
// a shared mapping (same size, and the file's stamp unchanged: only its bytes tell).
// AfterRename: the edit is made by the test, through the file opened before the change.
// RenameThenFlush: one edit before the first rename, one at the next flush.
enum class EditWhen { AtFlush, BeforeRename, AfterRename, RenameThenFlush };
struct OutsideEditor {
    QByteArray path;
    int editsLeft = 0;
    int edits = 0;
    char *digits = nullptr;
    EditWhen when = EditWhen::AtFlush;
} outsideEditor;

void OutsideEdit() {
    if (outsideEditor.editsLeft <= 0)
        return;
    --outsideEditor.editsLeft;
    const int edit = ++outsideEditor.edits;
    if (outsideEditor.digits)
        std::memcpy(outsideEditor.digits, QByteArray::number(edit % 1000).rightJustified(3, '0'),
                    3);
    else
        AppendSection(outsideEditor.path, edit);
}

} // namespace

// Every flush and rename of the program goes through here; the real one follows.
extern "C" int fsync(int fd) {
    if (outsideEditor.when == EditWhen::AtFlush ||
        (outsideEditor.when == EditWhen::RenameThenFlush && outsideEditor.edits == 1))
        OutsideEdit();
    return int(::syscall(SYS_fsync, fd));
}

extern "C" int rename(const char *from, const char *to) noexcept {
    if (outsideEditor.when == EditWhen::BeforeRename ||
        (outsideEditor.when == EditWhen::RenameThenFlush && outsideEditor.edits == 0))
        OutsideEdit();
    return int(::syscall(SYS_rename, from, to));
}

namespace {

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

// Child: a copy that changes its own key, one write at a time, until the stop file appears.
int RunCopy(const QString &path, const QString &name, const QString &stopFile) {
    try {
        for (int i = 1; !QFile::exists(stopFile); ++i)
            TNewIniFile(path).WriteInteger("Copies", name, i);
    } catch (const SettingsWriteError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

// Child: the outside program, appending count sections in place, each a few milliseconds
// after the last.
int RunAppender(const QString &path, int count) {
    for (int i = 1; i <= count; ++i) {
        AppendSection(QFile::encodeName(path), i);
        QThread::msleep(QRandomGenerator::global()->bounded(5, 15));
    }
    return 0;
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

Q_DECLARE_METATYPE(EditWhen)

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

    // The outside editor's digits in the file at path: "n=000" at the offset given. The
    // mapping's page is made writable now, so that its edits leave the file's stamp alone.
    static char *MapDigits(const QString &path, qsizetype offset) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        if (fd < 0)
            return nullptr;
        void *map = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        if (map == MAP_FAILED)
            return nullptr;
        char *digits = static_cast<char *>(map) + offset;
        digits[0] = '0';
        return digits;
    }

    static void SeedFile(const QString &path, const QByteArray &bytes) {
        QFile seed(path);
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write(bytes);
    }

    void outsideEditDuringWrite_data() {
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<EditWhen>("when");
        QTest::addColumn<bool>("transactional");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray appended = "[A]\nk=2\ngone=1\nn=000\n[Outside1]\nValue=1\n";
        QTest::newRow("an append, a change") << false << EditWhen::AtFlush << false << appended;
        QTest::newRow("an append, a transaction")
            << false << EditWhen::AtFlush << true
            << QByteArray("[A]\nk=2\nn=000\n[Outside1]\nValue=1\n[B]\nx=1\n");
        // After the last look at the file: the append reaches the replaced file only.
        QTest::newRow("an append right before the rename")
            << false << EditWhen::BeforeRename << false << appended;
        // Then another one while the file that took it is being written.
        QTest::newRow("an append before the rename, another after it")
            << false << EditWhen::RenameThenFlush << false
            << QByteArray("[A]\nk=2\ngone=1\nn=000\n[Outside2]\nValue=2\n[Outside1]\nValue=1\n");
        // Made through a file opened before the rename: the next change takes it.
        QTest::newRow("an append right after the rename")
            << false << EditWhen::AfterRename << false
            << QByteArray("[A]\nk=3\ngone=1\nn=000\n[Outside1]\nValue=1\n");
        QTest::newRow("overwritten in place")
            << true << EditWhen::AtFlush << false << QByteArray("[A]\nk=2\ngone=1\nn=001\n");
    }

    // A program that edits the file without the lock while a change is being written: the
    // change is made again on the file as it is now, and the other program's edit stays.
    void outsideEditDuringWrite() {
        QFETCH(bool, overwrite);
        QFETCH(EditWhen, when);
        QFETCH(bool, transactional);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("OV.INI");
        SeedFile(path, "[A]\nk=1\ngone=1\nn=000\n");
        outsideEditor = OutsideEditor();
        outsideEditor.path = QFile::encodeName(path);
        outsideEditor.editsLeft = when == EditWhen::AfterRename       ? 0
                                  : when == EditWhen::RenameThenFlush ? 2
                                                                      : 1;
        outsideEditor.when = when;
        if (overwrite) {
            outsideEditor.digits = MapDigits(path, 17);
            QVERIFY(outsideEditor.digits);
        }

        const int opened = ::open(outsideEditor.path.constData(), O_WRONLY | O_APPEND);
        QVERIFY(opened >= 0);
        TNewIniFile ini(path);
        if (transactional) {
            SettingsTransaction transaction(ini);
            ini.WriteString("A", "k", "2");
            ini.EraseKey("A", "gone");
            ini.WriteString("B", "x", "1");
            transaction.Commit();
        } else {
            ini.WriteString("A", "k", "2");
        }
        if (when == EditWhen::AfterRename) {
            const QByteArray section = "[Outside1]\nValue=1\n";
            QCOMPARE(::write(opened, section.constData(), size_t(section.size())), section.size());
            QCOMPARE(outsideEditor.edits, 0);
            ini.WriteString("A", "k", "3");
        }
        ::close(opened);
        if (outsideEditor.digits)
            ::munmap(outsideEditor.digits - 17, 4096);
        QCOMPARE(outsideEditor.editsLeft, 0);
        outsideEditor = OutsideEditor();
        QFile result(path);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), expected);
        QCOMPARE(ini.ReadString("A", "k", ""), when == EditWhen::AfterRename ? "3" : "2");
    }

    // A program that edits the file without pause: each attempt finds it changed again. The
    // change still lands after a few attempts, made from the newest content seen: only the
    // edit made while the last attempt was being written can be lost.
    void outsideEditorKeepsEditing() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("OV.INI");
        SeedFile(path, "[A]\nk=1\ngone=1\nn=000\n");
        outsideEditor = OutsideEditor();
        outsideEditor.path = QFile::encodeName(path);
        outsideEditor.editsLeft = 999;
        outsideEditor.digits = MapDigits(path, 17);
        QVERIFY(outsideEditor.digits);
        TNewIniFile(path).WriteString("A", "k", "2");
        ::munmap(outsideEditor.digits - 17, 4096);
        const int edits = outsideEditor.edits;
        outsideEditor = OutsideEditor();
        QVERIFY2(edits > 1 && edits < 100, qPrintable(QString::number(edits)));
        const TNewIniFile ini(path);
        QCOMPARE(ini.ReadString("A", "k", ""), "2");
        QVERIFY(ini.ReadInteger("A", "n", 0) >= edits - 1);
    }

    // Three copies write while another program appends sections in place without the lock:
    // no section is lost, nor any copy's change. Without the checks about two thirds of the
    // sections are lost.
    void outsideAppenderWithCopies() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("OV.INI");
        const QString stop = dir.filePath("stop");
        QFile seed(path);
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write(FullBarFile());
        seed.close();

        constexpr int kSections = 150;
        const QString self = QCoreApplication::applicationFilePath();
        QProcess copies[3];
        for (int i = 0; i < 3; ++i) {
            copies[i].setProcessChannelMode(QProcess::ForwardedErrorChannel);
            copies[i].start(self, {"--copy", path, "Copy" + QString::number(i), stop});
        }
        QProcess appender;
        appender.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        appender.start(self, {"--appender", path, QString::number(kSections)});
        QVERIFY(appender.waitForFinished(120000));
        QFile(stop).open(QIODevice::WriteOnly);
        for (QProcess &copy : copies) {
            QVERIFY(copy.waitForFinished(60000));
            QCOMPARE(copy.exitCode(), 0);
        }

        const TNewIniFile ini(path);
        QStringList lost;
        for (int i = 1; i <= kSections; ++i) {
            if (ini.ReadInteger("Outside" + QString::number(i), "Value", 0) != i)
                lost << QString::number(i);
        }
        QVERIFY2(lost.isEmpty(), qPrintable("lost: " + lost.join(u' ')));
        for (int i = 0; i < 3; ++i)
            QVERIFY(ini.ReadInteger("Copies", "Copy" + QString::number(i), 0) > 0);
        QCOMPARE(ini.ReadString("Working", "SpeedButton420", ""),
                 "C:\\PROGRA~1\\APP420\\Working.EXE");
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
    if (args.size() == 5 && args[1] == u"--copy")
        return RunCopy(args[2], args[3], args[4]);
    if (args.size() == 4 && args[1] == u"--appender")
        return RunAppender(args[2], args[3].toInt());
    if (args.size() == 6 && args[1] == u"--writer")
        return RunWriter(args[2], args[3], args[4].toInt(), args[5] == u"1");
    if (args.size() == 3 && args[1] == u"--generations")
        return RunGenerations(args[2]);
    TestNewIniFileProcesses test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_newinifile_processes.moc"
