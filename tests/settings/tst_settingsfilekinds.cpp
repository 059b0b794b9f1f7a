// The settings file as whatever is found at its path: a FIFO, a device, a directory, a
// read-only file, and regular files in the encodings and line ends found in the wild. Each is
// read, written (one key changed, one added) and written by a process killed part way; every
// line that was not changed must come back byte for byte.

#include "settings/NewIniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum class Kind { Regular, ReadOnly, Fifo, Device, Directory };

QByteArray ReadAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// text in UTF-16 of the byte order of mark (0xFFFE little-endian, 0xFEFF big-endian), the mark
// first.
QByteArray Utf16(const QString &text, bool littleEndian) {
    QByteArray out = littleEndian ? QByteArray("\xFF\xFE", 2) : QByteArray("\xFE\xFF", 2);
    for (QChar c : text) {
        const char lo = char(c.unicode() & 0xFF), hi = char(c.unicode() >> 8);
        out += littleEndian ? lo : hi;
        out += littleEndian ? hi : lo;
    }
    return out;
}

const QString kCafe = QString::fromUtf8("Caf\xC3\xA9 \xC3\x9C" "ber");
const QString kNew = QString::fromUtf8("Zo\xC3\xAB");

struct stat StatOf(const QString &path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

} // namespace

class TestSettingsFileKinds : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    // Makes the row's file and gives its path.
    QString Make(Kind kind, const QByteArray &bytes) {
        const QString path = dir_.filePath(QString::number(++made_) + ".ini");
        switch (kind) {
        case Kind::Regular:
            WriteAll(path, bytes);
            break;
        case Kind::ReadOnly:
            WriteAll(path, bytes);
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            break;
        case Kind::Fifo:
            if (::mkfifo(QFile::encodeName(path).constData(), 0644) != 0)
                qFatal("mkfifo failed");
            break;
        case Kind::Device:
            return QStringLiteral("/dev/null");
        case Kind::Directory:
            QDir().mkpath(path);
            break;
        }
        return path;
    }
    int made_ = 0;

    // The row's write: one key changed, one added.
    static void Write(const QString &path) {
        TNewIniFile ini(path);
        SettingsTransaction transaction(ini);
        ini.WriteString("Programs", "SpeedButton1", kNew);
        ini.WriteString("Programs", "Added", kNew);
        transaction.Commit();
    }

    // What is at path is still what the row made: same kind of file, same bytes, same mode.
    static void VerifyUntouched(Kind kind, const QString &path, const QByteArray &bytes) {
        const struct stat st = StatOf(path);
        switch (kind) {
        case Kind::Fifo:
            QVERIFY(S_ISFIFO(st.st_mode));
            break;
        case Kind::Device:
            QVERIFY(S_ISCHR(st.st_mode));
            break;
        case Kind::Directory:
            QVERIFY(S_ISDIR(st.st_mode));
            break;
        default:
            QVERIFY(S_ISREG(st.st_mode));
            QCOMPARE(ReadAll(path), bytes);
            if (kind == Kind::ReadOnly)
                QCOMPARE(st.st_mode & 0777, 0444u);
        }
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void kinds_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("read");     // Programs/SpeedButton2 as read
        QTest::addColumn<QByteArray>("after"); // after Write(); null: refused

        QTest::newRow("FIFO") << int(Kind::Fifo) << QByteArray() << QString() << QByteArray();
        QTest::newRow("device") << int(Kind::Device) << QByteArray() << QString() << QByteArray();
        QTest::newRow("directory")
            << int(Kind::Directory) << QByteArray() << QString() << QByteArray();
        QTest::newRow("read-only file")
            << int(Kind::ReadOnly) << QByteArray("[Programs]\nSpeedButton1=a\nSpeedButton2=b\n")
            << QString("b") << QByteArray();

        // One stray Windows-1252 byte (0xE9) on one line: the other lines stay UTF-8.
        QTest::newRow("UTF-8 with one Windows-1252 line")
            << int(Kind::Regular)
            << QByteArray("[Programs]\nSpeedButton1=x\nSpeedButton2=Caf\xC3\xA9 \xC3\x9C"
                          "ber\nSpeedButton3=caf\xE9\n")
            << kCafe
            << QByteArray("[Programs]\nSpeedButton1=Zo\xC3\xAB\nSpeedButton2=Caf\xC3\xA9 \xC3\x9C"
                          "ber\nSpeedButton3=caf\xE9\nAdded=Zo\xC3\xAB\n");
        for (const bool little : {true, false}) {
            QTest::newRow(little ? "UTF-16LE with its mark" : "UTF-16BE with its mark")
                << int(Kind::Regular)
                << Utf16("[Programs]\r\nSpeedButton1=x\r\nSpeedButton2=" + kCafe + "\r\n", little)
                << kCafe
                << Utf16("[Programs]\r\nSpeedButton1=" + kNew + "\r\nSpeedButton2=" + kCafe +
                             "\r\nAdded=" + kNew + "\r\n",
                         little);
        }
        // Each line keeps its own end; an added line takes the file's first one.
        QTest::newRow("mixed line ends")
            << int(Kind::Regular)
            << QByteArray("; note\n[Programs]\r\nSpeedButton1=x\nSpeedButton2=y\r\n\n[Other]\rk=1")
            << QString("y")
            << QByteArray("; note\n[Programs]\r\nSpeedButton1=Zo\xC3\xAB\nSpeedButton2=y\r\n"
                          "Added=Zo\xC3\xAB\n\n[Other]\rk=1");
    }

    void kinds() {
        QFETCH(int, kind);
        QFETCH(QByteArray, before);
        QFETCH(QString, read);
        QFETCH(QByteArray, after);
        const Kind k = Kind(kind);

        // Reading never blocks (a FIFO waits for a writer when opened) and gives what is there.
        const QString path = Make(k, before);
        ::alarm(20);
        QCOMPARE(TNewIniFile(path).ReadString("Programs", "SpeedButton2", QString()), read);
        ::alarm(0);

        // One write: the expected bytes, or refused with the standard message and untouched.
        if (after.isNull()) {
            try {
                Write(path);
                QFAIL("the write was not refused");
            } catch (const SettingsWriteError &e) {
                QCOMPARE(QString::fromUtf8(e.what()), "Unable to write to " + path);
            }
            VerifyUntouched(k, path, before);
        } else {
            Write(path);
            QCOMPARE(ReadAll(path), after);
            QCOMPARE(TNewIniFile(path).ReadString("Programs", "Added", QString()), kNew);
            QCOMPARE(TNewIniFile(path).ReadString("Programs", "SpeedButton2", QString()), read);
        }
    }

    // A writer killed at any moment leaves the old file or the new one, never a torn one.
    void killedWriter_data() { kinds_data(); }
    void killedWriter() {
        QFETCH(int, kind);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const Kind k = Kind(kind);
        if (k == Kind::Device)
            QSKIP("a device is never written; killing its writer shows nothing more");
        // Enough comment lines after the row's own for the kill to land inside the rewrite.
        QByteArray padding;
        const bool utf16 = before.startsWith("\xFF\xFE") || before.startsWith("\xFE\xFF");
        for (int i = 0; i < 200000; ++i)
            padding += "; padding line " + QByteArray::number(i) + "\n";
        if (utf16)
            padding = Utf16(QString::fromLatin1(padding), before.startsWith("\xFF\xFE")).mid(2);
        const QByteArray old = before.isNull() ? before : before + padding;
        const QByteArray expected = after.isNull() ? after : after + padding;

        const QString path = Make(k, old);
        int sawOld = 0, sawNew = 0;
        for (int round = 0; round < 12; ++round) {
            if (k == Kind::Regular)
                WriteAll(path, old);
            const pid_t child = ::fork();
            if (child == 0) {
                try {
                    Write(path);
                } catch (...) {
                }
                ::_exit(0);
            }
            QVERIFY(child > 0);
            ::usleep(useconds_t(round * 20000)); // from before the parse to after the rename
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            if (k != Kind::Regular) {
                VerifyUntouched(k, path, old);
                continue;
            }
            const QByteArray now = ReadAll(path);
            QVERIFY2(now == old || now == expected, "a torn file");
            (now == old ? sawOld : sawNew)++;
        }
        if (k == Kind::Regular)
            qInfo("killed before the rename %d times, after it %d times", sawOld, sawNew);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFileKinds)
#include "tst_settingsfilekinds.moc"
