// The password lock on changes: the scrambling, the data file's record, the start-up check and
// the password box, with a fake platform.
#include "FakePlatform.h"
#include "FileSizeLimit.h"
#include "app/Icons.h"
#include "prefs/Lockout.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace lockout;

namespace {
QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}
bool WriteFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
QByteArray Record(const QByteArray &value) {
    return FormatRecord(Encrypt(value));
}

const char *const kSixOptions[] = {"StayonTop1", "ConfirmExit1",    "AutoExpand1",
                                   "HideGraph1", "ShrinkOnLaunch1", "LockGraphLocation1"};
const QString kInstalled = "[Location]\nTop=100\nUser=tester\n[Pages]\nCount=2\n";
} // namespace

class LockoutTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;
    std::unique_ptr<TForm1> form;

    QString Dat() const { return fake->SettingsDirectory() + "OV.DAT"; }
    void Start() {
        fake->ExpectImportQuestionIfNew(fake->arguments.isEmpty() ? QString() : fake->arguments.last());
        form = std::make_unique<TForm1>(fake->Get());
        form->show();
    }
    void Restart() {
        form.reset();
        Start();
    }
    // The settings file holds kInstalled and the data file this lock value.
    void Installed(const QByteArray &lockValue) {
        fake->WriteIni(kInstalled);
        QVERIFY(WriteFile(Dat(), Record(lockValue)));
    }
    // The password box from the gauge's menu; message: the box the entry must bring up.
    void Enter(const QString &text, const QString &message = QString()) {
        fake->dialogs.ExpectPopup("Lockout Modify");
        if (!message.isEmpty())
            fake->dialogs.ExpectMessage(message);
        QTest::mousePress(form->Gauge(), Qt::RightButton);
        QVERIFY(form->InlineBoxOpen());
        QCOMPARE(form->InlineBox()->toolTip(), QString("Enter Password"));
        form->InlineBox()->setText(text); // typed in the clear
        QTest::keyClick(form->InlineBox(), Qt::Key_Return);
        QVERIFY(!form->InlineBoxOpen());
    }
    // The lock as the bar shows it: the tick and the six options held still, in agreement.
    bool ShownLocked() {
        const bool locked = form->ModifyLocked();
        if (form->Items().setup.LockoutModify1->isChecked() != locked)
            qWarning("the tick of Lockout Modify disagrees with the lock");
        for (const char *name : kSixOptions)
            if (form->findChild<QAction *>(name)->isEnabled() == locked)
                qWarning("%s disagrees with the lock", name);
        return locked && form->Items().setup.LockoutModify1->isChecked() &&
               !form->Items().setup.StayonTop1->isEnabled() &&
               !form->Items().setup.LockGraphLocation1->isEnabled();
    }
    bool ShownUnlocked() {
        bool ok = !form->ModifyLocked() && !form->Items().setup.LockoutModify1->isChecked();
        for (const char *name : kSixOptions)
            ok = ok && form->findChild<QAction *>(name)->isEnabled();
        return ok;
    }

private slots:
    void init() {
        fake = std::make_unique<FakePlatform>();
        QDir().mkpath(fake->SettingsDirectory());
    }
    void cleanup() {
        form.reset();
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    void scrambling() {
        QCOMPARE(Encrypt("abc"), QByteArray("bdf"));
        QCOMPARE(Decrypt("bdf"), QByteArray("abc"));
        QCOMPARE(Encrypt("KepR417"), QByteArray("LgsV97>")); // 'K' + 1 ... '7' + 7
        // Bytes wrap around, both ways, at every position of a longest value.
        QByteArray all;
        for (int i = 0; i < 255; ++i)
            all += char(255 - i);
        QCOMPARE(Encrypt(QByteArray("\xff", 1)), QByteArray("\x00", 1));
        QCOMPARE(Decrypt(QByteArray("\x00", 1)), QByteArray("\xff", 1));
        QCOMPARE(Decrypt(Encrypt(all)), all);
    }

    void recordLayout() {
        const QByteArray record = FormatRecord(Encrypt("abc"));
        QCOMPARE(record.size(), 257);
        QCOMPARE(record.left(4), QByteArray(1, char(3)) + "bdf");
        QCOMPARE(record.mid(4), QByteArray(253, '\0'));
        // Written as one record, for its owner's eyes only.
        const QString path = fake->SettingsDirectory() + "OVWork.DAT";
        WriteScrambled(path, Encrypt("abc"));
        QCOMPARE(ReadAll(path), record);
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        QCOMPARE(ReadScrambled(path), QByteArray("bdf"));
        // A longest value fills the record; a longer one is cut to it.
        QCOMPARE(FormatRecord(QByteArray(300, 'x')),
                 QByteArray("\xff", 1) + QByteArray(255, 'x') + QByteArray(1, '\0'));
        // A full disk: the write is refused and the old record stays whole.
        try {
            FileSizeLimit limit(16);
            WriteScrambled(path, Encrypt("a longer password"));
            QFAIL("a short write was taken for a whole one");
        } catch (const SettingsWriteError &) {
        }
        QCOMPARE(ReadAll(path), record);
        // A write that cannot be done says where, and leaves nothing behind.
        const QString nowhere = fake->SettingsDirectory() + "missing/OV.DAT";
        try {
            WriteScrambled(nowhere, "x");
            QFAIL("no error for a write that cannot be done");
        } catch (const SettingsWriteError &error) {
            QCOMPARE(QString::fromUtf8(error.what()), "Unable to write to " + nowhere);
        }
    }

    // The data file as found on disk, and what the bar makes of it at start-up.
    void dataFiles_data() {
        // "bytes", "missing", "directory", "fifo", "no permission", or "link": a symbolic link
        // to the file that bytes names
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("scrambled"); // what the record is read as
        const QByteArray secret = Encrypt("secret");
        QTest::newRow("missing") << "missing" << QByteArray() << QByteArray();
        QTest::newRow("empty") << "bytes" << QByteArray() << QByteArray();
        QTest::newRow("length byte only") << "bytes" << QByteArray(1, '\0') << QByteArray();
        QTest::newRow("whole record") << "bytes" << FormatRecord(secret) << secret;
        QTest::newRow("shorter, text complete") << "bytes" << (char(6) + secret) << secret;
        QTest::newRow("length byte beyond the end")
            << "bytes" << (char(9) + secret) << QByteArray();
        QTest::newRow("longer than a record")
            << "bytes" << FormatRecord(secret) + QByteArray(500, 'z') << secret;
        QTest::newRow("255 bytes of text")
            << "bytes" << FormatRecord(QByteArray(255, 'q')) << QByteArray(255, 'q');
        QTest::newRow("a directory") << "directory" << QByteArray() << QByteArray();
        // Not regular files: nothing waits for a writer or reads a device's endless bytes.
        QTest::newRow("a FIFO") << "fifo" << QByteArray() << QByteArray();
        QTest::newRow("a link to /dev/urandom")
            << "link" << QByteArray("/dev/urandom") << QByteArray();
        QTest::newRow("a link to /dev/zero") << "link" << QByteArray("/dev/zero") << QByteArray();
        if (geteuid() != 0) // permissions do not hold for root
            QTest::newRow("no permission")
                << "no permission" << FormatRecord(secret) << QByteArray();
    }
    void dataFiles() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, scrambled);
        if (kind == "directory")
            QVERIFY(QDir().mkpath(Dat() + "/inside"));
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(Dat()).constData(), 0600), 0);
        else if (kind == "link")
            QVERIFY(QFile::link(QString::fromLatin1(bytes), Dat()));
        else if (kind != "missing")
            QVERIFY(WriteFile(Dat(), bytes));
        if (kind == "no permission")
            QVERIFY(QFile::setPermissions(Dat(), {}));
        QCOMPARE(ReadScrambled(Dat()), scrambled);

        // An installation that has set up its data file: what the file holds is the lock value.
        // Nothing the bar does at start-up touches the file.
        fake->WriteIni(kInstalled);
        Start();
        QCOMPARE(form->Prefs().lockValue, Decrypt(scrambled));
        QCOMPARE(form->TabRow()->count(), 2);
        auto unchanged = [&] {
            if (kind == "directory")
                return QFileInfo(Dat() + "/inside").isDir();
            if (kind == "fifo")
                return QFileInfo(Dat()).exists() && !QFileInfo(Dat()).isFile();
            if (kind == "link")
                return QFileInfo(Dat()).symLinkTarget() == QString::fromLatin1(bytes);
            return ReadAll(Dat()) == (kind == "missing" ? QByteArray("<none>") : bytes);
        };
        QVERIFY(unchanged());
        // Without a stored lock value the bar stays locked, and no entry opens it.
        if (scrambled.isEmpty()) {
            QVERIFY(ShownLocked());
            Enter("secret", "Incorrect Password");
            QVERIFY(ShownLocked());
            QVERIFY(unchanged());
        }
    }

    void newInstallation() {
        Start();
        QCOMPARE(ReadAll(Dat()), Record("KepR417"));
        QCOMPARE(TNewIniFile(fake->IniPath()).ReadString("Location", "User", "<none>"), QString());
        QVERIFY(ShownUnlocked());
        // With a profile, "User" holds its name.
        form.reset();
        fake = std::make_unique<FakePlatform>(nullptr, QStringList{"Work"});
        Start();
        QCOMPARE(ReadAll(fake->SettingsDirectory() + "OVWork.DAT"), Record("KepR417"));
        QCOMPARE(TNewIniFile(fake->IniPath("Work")).ReadString("Location", "User", "<none>"),
                 QString("Work"));
    }

    // A new installation whose data file cannot be made says so, starts unlocked and does not
    // mark the file as set up, so that the next start makes it.
    void newInstallationDataFileRefused() {
        QVERIFY(QDir().mkpath(Dat()));
        fake->dialogs.ExpectError("Unable to write to " + Dat());
        Start();
        QVERIFY(ShownUnlocked());
        QVERIFY(!TNewIniFile(fake->IniPath()).ValueExists("Location", "User"));
        QVERIFY(QFileInfo(Dat()).isDir());
        form.reset();
        QVERIFY(QDir().rmdir(Dat()));
        Start();
        QCOMPARE(ReadAll(Dat()), Record("KepR417"));
        QVERIFY(TNewIniFile(fake->IniPath()).ValueExists("Location", "User"));
    }

    // (lock value in the file, typed text) → (lock after, message, data file after). The
    // settings file is never written by an entry.
    void entries_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("lockedAfter");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("fileAfter"); // the lock value the data file holds
        const QString none;
        const QByteArray marker = "KepR417";
        QTest::newRow("unlocked, a password locks")
            << marker << "secret" << true << none << QByteArray("secret");
        QTest::newRow("unlocked, the marker itself")
            << marker << "KepR417" << false << none << marker;
        QTest::newRow("unlocked, 255 characters")
            << marker << QString(255, 'p') << true << none << QByteArray(255, 'p');
        QTest::newRow("unlocked, 256 characters")
            << marker << QString(256, 'p') << false << "at most 255 characters" << marker;
        QTest::newRow("unlocked, letters beyond ASCII")
            << marker << QString::fromUtf8("gänse") << true << none
            << QString::fromUtf8("gänse").toUtf8();
        QTest::newRow("locked, the password unlocks")
            << QByteArray("secret") << "secret" << false << none << marker;
        QTest::newRow("locked, another text") << QByteArray("secret") << "Secret" << true
                                              << "Incorrect Password" << QByteArray("secret");
        QTest::newRow("locked, the marker") << QByteArray("secret") << "KepR417" << true
                                            << "Incorrect Password" << QByteArray("secret");
        QTest::newRow("locked, a longest password unlocks")
            << QByteArray(255, 'p') << QString(255, 'p') << false << none << marker;
    }
    void entries() {
        QFETCH(QByteArray, before);
        QFETCH(QString, typed);
        QFETCH(bool, lockedAfter);
        QFETCH(QString, message);
        QFETCH(QByteArray, fileAfter);
        Installed(before);
        Start();
        const QByteArray settings = ReadAll(fake->IniPath());
        Enter(typed, message);
        QVERIFY(lockedAfter ? ShownLocked() : ShownUnlocked());
        QCOMPARE(ReadAll(Dat()), Record(fileAfter));
        QCOMPARE(ReadAll(fake->IniPath()), settings);
        // The lock survives a restart.
        Restart();
        QVERIFY(lockedAfter ? ShownLocked() : ShownUnlocked());
    }

    // Enter on an empty box, and Escape, change nothing.
    void nothingEntered() {
        Installed("secret");
        Start();
        fake->dialogs.ExpectPopup("Lockout Modify");
        QTest::mousePress(form->Gauge(), Qt::RightButton);
        QTest::keyClick(form->InlineBox(), Qt::Key_Return);
        QVERIFY(!form->InlineBoxOpen());
        fake->dialogs.ExpectPopup("Lockout Modify");
        QTest::mousePress(form->Gauge(), Qt::RightButton);
        QTest::keyClicks(form->InlineBox(), "secret");
        QTest::keyClick(form->InlineBox(), Qt::Key_Escape);
        QVERIFY(ShownLocked());
        QCOMPARE(ReadAll(Dat()), Record("secret"));
    }

    // The file decides: a copy that still shows itself unlocked after another copy locked the
    // bar takes the other copy's state on the next entry.
    void theFileDecides() {
        Installed("KepR417");
        Start();
        QVERIFY(ShownUnlocked());
        QVERIFY(WriteFile(Dat(), Record("other")));
        Enter("mine", "Incorrect Password");
        QVERIFY(ShownLocked());
        QCOMPARE(form->Prefs().lockValue, QByteArray("other"));
        Enter("other");
        QVERIFY(ShownUnlocked());
    }

    // A refused write of the data file is reported and changes nothing: neither the lock nor
    // the file. (A profile whose name holds a slash is refused every write; its data file can
    // still be read.)
    void refusedWrite() {
        fake = std::make_unique<FakePlatform>(nullptr, QStringList{"a/b"});
        const QString dat = fake->SettingsDirectory() + "OVa/b.DAT";
        QVERIFY(QDir().mkpath(fake->SettingsDirectory() + "OVa"));
        QVERIFY(WriteFile(dat, Record("KepR417")));
        // Answering the new installation's question stores the page size: refused too.
        fake->dialogs.ExpectError("Unable to write to " + fake->IniPath("a/b"));
        Start();
        QVERIFY(ShownUnlocked());
        fake->dialogs.ExpectPopup("Lockout Modify");
        fake->dialogs.ExpectError("Unable to write to " + dat);
        QTest::mousePress(form->Gauge(), Qt::RightButton);
        QTest::keyClicks(form->InlineBox(), "secret");
        QTest::keyClick(form->InlineBox(), Qt::Key_Return);
        QVERIFY(ShownUnlocked());
        QCOMPARE(ReadAll(dat), Record("KepR417"));
    }
};

QTEST_MAIN(LockoutTest)
#include "tst_lockout.moc"
