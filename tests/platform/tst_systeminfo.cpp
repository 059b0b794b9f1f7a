#include "FakePlatform.h"
#include "platform/linux/LinuxSystemInfo.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <atomic>
#include <mutex>
#include <QtTest>
#include <pwd.h>
#include <unistd.h>

class TestSystemInfo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mountTable_data();
    void mountTable();
    void memInfo_data();
    void memInfo();
    void mountKinds();
    void slowFilesystem();
    void thisMachine();
    void lettersKept();
    void agreesWithDfAndMeminfo();
    void extraMounts();
    void extraMountsChild();
};

// A desktop's mount table in the kernel's format, in kernel order (not sorted).
static const char Desktop[] =
    "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
    "23 28 0:22 / /sys rw,relatime shared:7 - sysfs sysfs rw\n"
    "28 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
    "29 28 8:17 / /home rw,relatime shared:2 - ext4 /dev/sdb1 rw\n"
    "30 28 0:25 / /tmp rw,nosuid shared:3 - tmpfs tmpfs rw,size=8g\n"
    "31 28 7:3 / /snap/core22/864 ro,nodev,relatime shared:4 - squashfs /dev/loop3 ro\n"
    "32 28 8:1 / /boot/efi rw,relatime shared:5 - vfat /dev/sda1 rw,fmask=0077\n"
    "33 28 8:3 / /boot rw,relatime shared:6 - ext4 /dev/sda3 rw\n"
    "34 28 0:48 / /mnt/nas rw,relatime shared:8 - nfs4 nas:/export rw,vers=4.2\n"
    "35 28 8:33 / /media/u/My\\040Stick rw,nosuid shared:9 - vfat /dev/sdc1 rw\n"
    "36 28 0:50 / /run/user/1000 rw shared:10 - tmpfs tmpfs rw\n"
    "37 28 0:51 / /home/u/remote rw - fuse.sshfs u@host:/ rw,user_id=1000\n";

// The same filesystem in several places, and lines to skip.
static const char Repeated[] =
    "40 1 0:30 /@ / rw - btrfs /dev/nvme0n1p2 rw,subvol=/@\n"
    "41 40 0:30 /@home /home rw - btrfs /dev/nvme0n1p2 rw,subvol=/@home\n"
    "42 40 8:17 /data/sub /srv/sub rw - ext4 /dev/sdb1 rw\n"
    "43 40 8:17 / /data rw - ext4 /dev/sdb1 rw\n"
    "44 40 8:17 / /zz-again rw - ext4 /dev/sdb1 rw\n"
    "garbage line\n"
    "\n"
    "45 40 0:60 / /win rw,relatime - cifs //server/share rw\n";

void TestSystemInfo::mountTable_data() {
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("expected"); // letter=mount point, in order

    QTest::newRow("desktop") << QByteArray(Desktop)
                             << "C=/ D=/home E=/home/u/remote F=/media/u/My Stick G=/mnt/nas";
    QTest::newRow("one drive per filesystem") << QByteArray(Repeated) << "C=/ D=/data E=/win";
    QTest::newRow("no root line") << QByteArray("29 28 8:17 / /home rw - ext4 /dev/sdb1 rw\n")
                                  << "C=/ D=/home";
    QTest::newRow("empty") << QByteArray() << "C=/";
    // The table writes blank, tab, newline and backslash as octal escapes; other bytes,
    // UTF-8 included, stand as they are. A bad escape stays as written.
    QTest::newRow("escapes")
        << QByteArray("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                      "2 1 8:2 / /m/a\\040b rw - ext4 /dev/sda2 rw\n"
                      "3 1 8:3 / /m/t\\011ab rw - ext4 /dev/sda3 rw\n"
                      "4 1 8:4 / /m/n\\012l rw - ext4 /dev/sda4 rw\n"
                      "5 1 8:5 / /m/back\\134slash rw - ext4 /dev/sda5 rw\n"
                      "6 1 8:6 / /m/caf\xc3\xa9 rw - ext4 /dev/sda6 rw\n"
                      "7 1 8:7 / /m/bad\\9z rw - ext4 /dev/sda7 rw\n"
                      "8 1 8:8 / /m/end\\040 rw - ext4 /dev/sda8 rw\n")
        << QString::fromUtf8("C=/ D=/m/a b E=/m/back\\slash F=/m/bad\\9z G=/m/café H=/m/end  I=/m/n\nl J=/m/t\tab");

    QByteArray many;
    for (int i = 0; i < 30; ++i)
        many += QStringLiteral("%1 1 9:%1 / /m%2 rw - xfs /dev/md%1 rw\n")
                    .arg(i)
                    .arg(i, 2, 10, QLatin1Char('0'))
                    .toLatin1();
    QString expected = QStringLiteral("C=/");
    for (int i = 0; i < 23; ++i)
        expected += QStringLiteral(" %1=/m%2").arg(QChar(u'D' + i)).arg(i, 2, 10, QLatin1Char('0'));
    QTest::newRow("letters end at Z") << many << expected;
}

void TestSystemInfo::mountTable() {
    QFETCH(QByteArray, table);
    QFETCH(QString, expected);
    QStringList got;
    for (const DriveMount &drive : ParseMountInfo(table))
        got << QString(drive.letter) + QLatin1Char('=') + drive.mountPoint;
    QCOMPARE(got.join(QLatin1Char(' ')), expected);
}

// The kind of each drive as far as the table tells it, and which may keep a caller waiting.
void TestSystemInfo::mountKinds() {
    const QByteArray table = QByteArray(Desktop) +
                             "50 28 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n"
                             "51 28 0:52 / /media/phone rw - fuse.jmtpfs /dev/fuse rw\n";
    QStringList got;
    for (const DriveMount &drive : ParseMountInfo(table))
        got << QStringLiteral("%1=%2%3").arg(drive.letter).arg(int(drive.type)).arg(drive.mayBlock ? "!" : "");
    // C / fixed, D /home fixed, E sshfs remote, F cd, G phone (user space), H stick, I nas
    QCOMPARE(got.join(' '), QStringLiteral("C=3 D=3 E=4! F=5 G=3! H=3 I=4!"));
}

// A filesystem whose server is gone answers nothing within the time limit, is not asked again
// while the first question waits, and is believed again once it answers.
void TestSystemInfo::slowFilesystem() {
    FilesystemFigures figures(50);
    std::mutex gate;
    std::unique_lock<std::mutex> closed(gate);
    std::atomic<int> asked{0};
    figures.query = [&](const QByteArray &path) -> std::optional<FilesystemFigures::Figures> {
        ++asked;
        if (path == "/mnt/dead")
            std::lock_guard<std::mutex> wait(gate);
        return FilesystemFigures::Figures{1000, 250};
    };
    QVERIFY(!figures.Ask(QStringLiteral("/mnt/dead"), true));
    QVERIFY(!figures.Ask(QStringLiteral("/mnt/dead"), true));
    QCOMPARE(asked.load(), 1);
    // Others are not held up by it.
    QCOMPARE(figures.Ask(QStringLiteral("/home"), false)->free, 250u);
    QCOMPARE(figures.Ask(QStringLiteral("/mnt/live"), true)->total, 1000u);
    closed.unlock();
    QTRY_VERIFY(figures.Ask(QStringLiteral("/mnt/dead"), true).has_value());
}

// Letters once given stay with their mount points, mounted or not, until all 23 are given;
// then the letters of the mount points that are gone are given again, lowest first.
void TestSystemInfo::lettersKept() {
    auto table = [](const QList<int> &numbers) {
        QByteArray text = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n";
        for (int n : numbers)
            text += QStringLiteral("%1 1 9:%1 / /m%2 rw - xfs /dev/md%1 rw\n")
                        .arg(n + 10)
                        .arg(n, 2, 10, QLatin1Char('0'))
                        .toLatin1();
        return MountedFilesystems(text);
    };
    auto letters = [](const QList<DriveMount> &drives) {
        QStringList got;
        for (const DriveMount &drive : drives)
            got << QString(drive.letter) + drive.mountPoint.mid(1);
        return got.join(QLatin1Char(' '));
    };
    DriveLetters keeper;
    QCOMPARE(letters(keeper.Assign(table({5, 7}))), QStringLiteral("C Dm05 Em07"));
    // m05 is gone: its D is not given to m01.
    QCOMPARE(letters(keeper.Assign(table({1, 7}))), QStringLiteral("C Em07 Fm01"));
    // 30 newcomers: G to Z go first, then the letters of the gone m05 and m01; the rest of
    // them have no drive.
    QList<int> many{7};
    for (int n = 10; n < 40; ++n)
        many << n;
    const QList<DriveMount> full = keeper.Assign(table(many));
    QCOMPARE(full.size(), 24);
    QCOMPARE(letters(full).left(26), QStringLiteral("C Dm30 Em07 Fm31 Gm10 Hm11"));
    QCOMPARE(full.last().mountPoint, QStringLiteral("/m29"));
    // Every letter has been given: those of mount points gone are given again, lowest first.
    QCOMPARE(letters(keeper.Assign(table({2, 3, 7}))), QStringLiteral("C Dm02 Em07 Fm03"));
    QCOMPARE(letters(keeper.Assign(table({2, 3, 7, 30}))), QStringLiteral("C Dm02 Em07 Fm03 Gm30"));
}

void TestSystemInfo::memInfo_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("load");
    QTest::addColumn<quint64>("total");

    QTest::newRow("available") << QByteArray("MemTotal:  16000000 kB\nMemFree:  1000000 kB\n"
                                             "MemAvailable:  4000000 kB\nBuffers: 10 kB\n")
                               << true << 75 << quint64(16000000) * 1024;
    // 64 GiB does not fit 32 bits in bytes.
    QTest::newRow("large") << QByteArray("MemTotal: 67108864 kB\nMemAvailable: 67108864 kB\n")
                           << true << 0 << quint64(68719476736);
    QTest::newRow("old kernel") << QByteArray("MemTotal: 1000 kB\nMemFree: 100 kB\n"
                                              "Buffers: 50 kB\nCached: 250 kB\n")
                                << true << 60 << quint64(1024000);
    QTest::newRow("load rounds down")
        << QByteArray("MemTotal: 3 kB\nMemAvailable: 1 kB\n") << true << 66 << quint64(3072);
    QTest::newRow("no total") << QByteArray("MemFree: 100 kB\n") << false << 0 << quint64(0);
    QTest::newRow("zero total") << QByteArray("MemTotal: 0 kB\n") << false << 0 << quint64(0);
    QTest::newRow("CR LF, no last line end")
        << QByteArray("MemTotal:\t1000 kB\r\nMemAvailable: 250") << true << 75 << quint64(1024000);
    QTest::newRow("figure run into text") << QByteArray("MemTotal: 1000x kB\nMemAvailable: 250 kB\n")
                                          << false << 0 << quint64(0);
    QTest::newRow("no figure") << QByteArray("MemTotal: kB\n:\n\n") << false << 0 << quint64(0);
}

void TestSystemInfo::memInfo() {
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    const std::optional<MemoryStatus> status = ParseMemInfo(text);
    QCOMPARE(status.has_value(), valid);
    if (!valid)
        return;
    QTEST(status->load, "load");
    QTEST(status->totalPhys, "total");
}

// The real sources answer sensibly on this machine.
void TestSystemInfo::thisMachine() {
    LinuxSystemInfo info;

    const MemoryStatus memory = info.Memory();
    QVERIFY(memory.totalPhys > 0);
    QVERIFY(memory.load >= 0 && memory.load <= 100);

    const QList<DriveInfo> drives = info.Drives();
    QVERIFY(!drives.isEmpty());
    QCOMPARE(drives.first().letter, QLatin1Char('C'));
    QCOMPARE(drives.first().mountPoint, QStringLiteral("/"));
    QVERIFY(drives.first().total > 0);
    QVERIFY(drives.first().free <= drives.first().total);
    // A drive is found by its mount point, exactly, and the fake given the same drives agrees.
    FakeSystemInfo fake;
    fake.drives = drives;
    for (ISystemInfo *system :
         {static_cast<ISystemInfo *>(&info), static_cast<ISystemInfo *>(&fake)}) {
        for (const DriveInfo &drive : drives)
            QCOMPARE(system->LetterOf(drive.mountPoint), drive.letter);
        QVERIFY(system->LetterOf(QStringLiteral("/no/such/mount")).isNull());
        QVERIFY(system->LetterOf(QString()).isNull());
    }

    const passwd *pw = getpwuid(getuid());
    QVERIFY(pw);
    QCOMPARE(info.UserName(), QString::fromLocal8Bit(pw->pw_name));

    QVERIFY(info.ScreenHeight() > 0);
    QVERIFY(info.UsableScreenWidth() > 0);
    QVERIFY(info.MenuBarHeight() > 0);
}

// The figures agree with df and /proc/meminfo read in the same run.
void TestSystemInfo::agreesWithDfAndMeminfo() {
    LinuxSystemInfo info;
    QProcess df;
    df.start(QStringLiteral("df"), {QStringLiteral("-B1"), QStringLiteral("--output=target,size,avail")});
    QVERIFY(df.waitForFinished(30000));
    const QList<DriveInfo> drives = info.Drives();
    QHash<QString, QPair<quint64, quint64>> dfFigures;
    for (const QByteArray &line : df.readAllStandardOutput().split('\n').mid(1)) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() == 3)
            dfFigures.insert(QString::fromUtf8(words[0]), {words[1].toULongLong(), words[2].toULongLong()});
    }
    QVERIFY(dfFigures.contains(QStringLiteral("/")));
    int compared = 0;
    for (const DriveInfo &drive : drives) {
        if (!dfFigures.contains(drive.mountPoint))
            continue;
        const auto [size, avail] = dfFigures.value(drive.mountPoint);
        QCOMPARE(drive.total, size);
        // Free space moves while the test runs; by a little.
        const quint64 slack = 64ull << 20;
        QVERIFY2(drive.free + slack >= avail && drive.free <= avail + slack,
                 qPrintable(QStringLiteral("%1: %2 against %3").arg(drive.mountPoint).arg(drive.free).arg(avail)));
        ++compared;
    }
    QVERIFY(compared >= 1);

    QFile meminfo(QStringLiteral("/proc/meminfo"));
    QVERIFY(meminfo.open(QIODevice::ReadOnly));
    quint64 total = 0, available = 0;
    for (const QByteArray &line : meminfo.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.value(0) == "MemTotal:")
            total = words.value(1).toULongLong();
        if (words.value(0) == "MemAvailable:")
            available = words.value(1).toULongLong();
    }
    const MemoryStatus memory = info.Memory();
    QVERIFY(total > 0);
    QCOMPARE(memory.totalPhys, total * 1024);
    const int load = int(100 * (total - available) / total);
    QVERIFY2(qAbs(memory.load - load) <= 2, qPrintable(QStringLiteral("%1 against %2").arg(memory.load).arg(load)));
}

// Filesystems mounted and unmounted while the bar runs: a mount point keeps its letter, so a
// gauge on it never comes to read another filesystem. The mounting happens in a private mount
// namespace of a child (this test program again), so nothing outside the test sees it.
void TestSystemInfo::extraMounts() {
    if (::geteuid() != 0)
        QSKIP("mounting needs root");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name : {"a.img", "b.img", "c.img"}) {
        QFile image(dir.filePath(QLatin1String(name)));
        QVERIFY(image.open(QIODevice::WriteOnly) && image.resize(8 << 20));
        image.close();
        QProcess mkfs;
        mkfs.start(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), image.fileName()});
        if (!mkfs.waitForFinished(60000) || mkfs.exitCode() != 0)
            QSKIP("mkfs.ext4 is not available");
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANE_MOUNT_DIR"), dir.path());
    child.setProcessEnvironment(env);
    child.start(QStringLiteral("unshare"), {QStringLiteral("--mount"), QStringLiteral("--propagation"),
                                            QStringLiteral("private"), QCoreApplication::applicationFilePath(),
                                            QStringLiteral("extraMountsChild")});
    QVERIFY(child.waitForFinished(120000));
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    if (out.contains(QLatin1String("cannot mount")) || child.exitCode() != 0 && !out.contains(QLatin1String("before:")))
        QSKIP(qPrintable(QStringLiteral("mounting is not allowed here: ") + out + child.readAllStandardError()));
    // Each step's drives as mount point -> letter.
    auto step = [&](const char *name) {
        QHash<QString, QChar> drives;
        const QRegularExpression line(QStringLiteral("%1: (.*)").arg(QLatin1String(name)));
        for (const QString &drive :
             line.match(out).captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            drives.insert(drive.mid(2), drive.at(0));
        return drives;
    };
    const auto before = step("before"), one = step("one"), two = step("two"), three = step("three"),
               four = step("four");
    const QString a = dir.filePath("a"), b = dir.filePath("b"), c = dir.filePath("c");
    QVERIFY2(!before.isEmpty() && four.size() == before.size() + 3, qPrintable(out));
    // b takes the first letter after the drives already there (E on a machine with C and D).
    const QChar letterB = one.value(b);
    QCOMPARE(letterB.unicode(), u'C' + before.size());
    // a sorts before b, but b keeps its letter and a takes the next one.
    QCOMPARE(two.value(b), letterB);
    QCOMPARE(two.value(a).unicode(), letterB.unicode() + 1);
    // b unmounted: its letter is not given to c, and comes back with it.
    QVERIFY2(!three.contains(b) && three.value(c).unicode() == letterB.unicode() + 2,
             qPrintable(out));
    QCOMPARE(four.value(b), letterB);
    for (const auto &[mountPoint, letter] : before.asKeyValueRange())
        QCOMPARE(four.value(mountPoint), letter);
}

// Run by extraMounts in its own mount namespace.
void TestSystemInfo::extraMountsChild() {
    const QString dir = qEnvironmentVariable("ORVANE_MOUNT_DIR");
    if (dir.isEmpty())
        QSKIP("run by extraMounts");
    LinuxSystemInfo info;
    auto list = [&info](const char *name) {
        QStringList drives;
        for (const DriveInfo &drive : info.Drives())
            drives << QString(drive.letter) + QLatin1Char('=') + drive.mountPoint;
        std::printf("%s: %s\n", name, qPrintable(drives.join(QLatin1Char(' '))));
        std::fflush(stdout);
    };
    auto run = [&dir](const QString &program, const QStringList &arguments) {
        QProcess tool;
        tool.start(program, arguments);
        if (tool.waitForFinished(60000) && tool.exitCode() == 0)
            return true;
        std::printf("cannot mount: %s\n", tool.readAllStandardError().constData());
        std::fflush(stdout);
        return false;
    };
    auto mount = [&](const char *name) {
        const QString at = dir + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(at);
        return run(QStringLiteral("mount"),
                   {QStringLiteral("-o"), QStringLiteral("loop"), at + QStringLiteral(".img"), at});
    };
    auto unmount = [&](const char *name) {
        return run(QStringLiteral("umount"), {dir + QLatin1Char('/') + QLatin1String(name)});
    };
    list("before");
    if (!mount("b"))
        return;
    list("one");
    if (!mount("a"))
        return;
    list("two");
    if (!unmount("b") || !mount("c"))
        return;
    list("three");
    if (!mount("b"))
        return;
    list("four");
    for (const char *name : {"a", "b", "c"})
        unmount(name);
}

QTEST_MAIN(TestSystemInfo)
#include "tst_systeminfo.moc"
