// The real bar's gauge: at start it graphs the free space of the drive holding the program, as
// statvfs reports it; the setup menu opened on it lists the drives, and choosing "Graph System
// Memory" stores the choice and graphs the memory load. Its text fits the face, the shrunk bar
// shows the gauge alone, and a chosen filesystem stays the one graphed when others are mounted,
// also at the next start. Screenshots go into the build directory.

#include "BarDriver.h"
#include "gauge/GaugeRules.h"
#include "platform/linux/LinuxSystemInfo.h"

#include <QtTest>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace e2e;

namespace {
const QPoint GaugeCentre(22, 9);
const QPoint HelpButtonCentre(11, 27);
const QRect GaugeArea(2, 1, 39, 15); // client coordinates
const QColor Maroon(0x80, 0x00, 0x00);

// The gauge as the screen shows it.
QImage GaugePicture(const Bar &bar) {
    const QImage window = Grab(bar.Window());
    return window.isNull() ? QImage() : window.copy(GaugeArea);
}

// The bar's fill on the gauge's bottom row (below the text): its colour and its width.
struct Fill {
    QColor colour;
    int columns = 0;
};

Fill BottomFill(const QImage &gauge) {
    Fill fill;
    const int y = gauge.height() - 1;
    if (gauge.isNull() || gauge.pixelColor(0, y) == Maroon)
        return fill;
    fill.colour = gauge.pixelColor(0, y);
    while (fill.columns < gauge.width() && gauge.pixelColor(fill.columns, y) == fill.colour)
        ++fill.columns;
    return fill;
}

// The fill of a percentage on the bar's 39-pixel gauge (its face counts 40).
int Columns(int percent) {
    return qMin(int(40 * (long double)percent * 0.01L), 39);
}

int RootFreePercent() {
    struct statvfs st {};
    if (::statvfs("/", &st) != 0 || st.f_blocks == 0 || st.f_bavail == 0)
        return -1;
    return FreePercent(qint64(st.f_blocks), qint64(st.f_bavail));
}

int MemoryLoad() {
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return -1;
    quint64 total = 0, available = 0;
    for (const QByteArray &line : meminfo.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.value(0) == "MemTotal:")
            total = words.value(1).toULongLong();
        if (words.value(0) == "MemAvailable:")
            available = words.value(1).toULongLong();
    }
    return total ? int(100 * (total - available) / total) : -1;
}

// Whether the text written across the gauge stays off its first and last columns: there, every
// pixel is the face's own (maroon or a reading's colour), none inverted by a letter.
bool TextInside(const QImage &gauge) {
    const QList<QColor> face{Maroon, GaugeColorFor(QStringLiteral("CHardDrive"), 100),
                             GaugeColorFor(QStringLiteral("CHardDrive"), 30),
                             GaugeColorFor(QStringLiteral("CHardDrive"), 0)};
    for (int x : {0, gauge.width() - 1})
        for (int y = 0; y < gauge.height(); ++y)
            if (!face.contains(gauge.pixelColor(x, y)))
                return false;
    return !gauge.isNull();
}

int FreePercentOf(const QString &mountPoint) {
    struct statvfs st {};
    if (::statvfs(QFile::encodeName(mountPoint).constData(), &st) != 0 || st.f_blocks == 0 ||
        st.f_bavail == 0)
        return -1;
    return FreePercent(qint64(st.f_blocks), qint64(st.f_bavail));
}

// Leaves about `percent` of a filesystem free by sizing one file of blocks on it.
bool LeaveFree(const QString &mountPoint, int percent) {
    const QByteArray path = QFile::encodeName(mountPoint + QStringLiteral("/filler"));
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    ::fsync(fd);
    struct statvfs st {};
    bool done = ::statvfs(path.constData(), &st) == 0;
    const qint64 unit = qint64(st.f_frsize);
    const qint64 fill = (qint64(st.f_bavail) - qint64(st.f_blocks) * percent / 100) * unit;
    done = done && fill > 0 && ::posix_fallocate(fd, 0, fill) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    return done;
}

// Whether the gauge shows a percentage near p in the reading's colour.
bool Shows(const Bar &bar, const QString &type, int p, Fill *seen) {
    const Fill fill = BottomFill(GaugePicture(bar));
    *seen = fill;
    for (int q = qMax(0, p - 2); q <= qMin(100, p + 2); ++q)
        if (fill.columns == Columns(q) && (q == 0 || fill.colour == GaugeColorFor(type, q)))
            return true;
    return false;
}
} // namespace

class TestGauge : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
    }
    void readingsAndMenu();
    void shrunkShowsGaugeAlone();
    void followsItsFilesystem();
    void followsItsFilesystemChild();
};

void TestGauge::readingsAndMenu() {
    BarHome home;
    QVERIFY(home.IsValid());
    // No stored gauge type: the bar graphs the drive that holds its program, here "/".
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\n[Pages]\nCount=2\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QVERIFY(FocusOn(bar.Window()));

    const int free = RootFreePercent();
    QVERIFY(free > 0);
    Fill seen;
    QVERIFY2(PollUntil([&] { return Shows(bar, QStringLiteral("CHardDrive"), free, &seen); }),
             qPrintable(QStringLiteral("free %1%: %2 columns of %3")
                            .arg(free)
                            .arg(seen.columns)
                            .arg(seen.colour.name())));
    SaveScreenshot(QStringLiteral("gauge-drive"));
    // "C : 31%" and the like, whole: no letter cut by the face's edges.
    QVERIFY(PollUntil([&] { return TextInside(GaugePicture(bar)); }));

    // The setup menu: the last-launched switch, drive C with its mount point, the memory item.
    QVERIFY2(OpenMenuAt(bar, GaugeCentre), qPrintable(bar.Diagnostics()));
    SaveScreenshot(QStringLiteral("gauge-menu"));
    QVERIFY(ChooseInMenu(bar, {QStringLiteral("Down"), QStringLiteral("Down"),
                               QStringLiteral("Down"), QStringLiteral("Return")}));
    QVERIFY(PollUntil([&] {
        return IniValue(home.SettingsFile(), "Gauge", "Type") == QLatin1String("SystemMemory1");
    }));
    QVERIFY2(
        PollUntil([&] { return Shows(bar, QStringLiteral("SystemMemory1"), MemoryLoad(), &seen); }),
        qPrintable(QStringLiteral("load %1%: %2 columns of %3")
                       .arg(MemoryLoad())
                       .arg(seen.columns)
                       .arg(seen.colour.name())));
    SaveScreenshot(QStringLiteral("gauge-memory"));

    // And back to the drive, the item just above. (The pointer leaves first: a synchronous
    // move to where it already is would wait for ever.)
    QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0")}));
    QVERIFY2(OpenMenuAt(bar, GaugeCentre), qPrintable(bar.Diagnostics()));
    QVERIFY(ChooseInMenu(
        bar, {QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")}));
    QVERIFY(PollUntil([&] {
        return IniValue(home.SettingsFile(), "Gauge", "Type") == QLatin1String("CHardDrive");
    }));
    QVERIFY(PollUntil(
        [&] { return Shows(bar, QStringLiteral("CHardDrive"), RootFreePercent(), &seen); }));
}

// Shrunk, the window is the gauge's panel and nothing else: its bottom row is the panel's own
// edge, as light as its right edge, without the tops of the buttons below the gauge.
void TestGauge::shrunkShowsGaugeAlone() {
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\n[Pages]\nCount=2\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QVERIFY(ClickAt(bar, GaugeCentre));
    QVERIFY2(PollUntil([&] { return PlaceOf(bar.Window()).client.width() == 44; }),
             qPrintable(bar.Diagnostics()));
    const QImage shrunk = SettledGrab(bar.Window());
    SaveScreenshot(QStringLiteral("gauge-shrunk"));
    QCOMPARE(shrunk.size(), QSize(44, 19));
    const QColor edge = shrunk.pixelColor(43, 9);
    for (int x = 1; x < 44; ++x)
        QVERIFY2(shrunk.pixelColor(x, 18) == edge,
                 qPrintable(QStringLiteral("x %1: %2, the edge is %3")
                                .arg(x)
                                .arg(shrunk.pixelColor(x, 18).name(), edge.name())));
    // Expanded again, the buttons are back.
    QVERIFY(ClickAt(bar, GaugeCentre));
    QVERIFY(PollUntil([&] { return PlaceOf(bar.Window()).client.width() > 44; }));
    QVERIFY(ClickAt(bar, HelpButtonCentre));
    const QString help = WaitForWindowTitled(bar, QStringLiteral("Velmora Help"));
    QVERIFY2(!help.isEmpty(), qPrintable(bar.Diagnostics()));
}

// A filesystem chosen in the menu is graphed while another is mounted in front of it (its
// mount point sorts first), and again at the next start, when the other has taken its letter.
// The mounting happens in a private mount namespace of a child (this test program again), with
// the bar started there.
void TestGauge::followsItsFilesystem() {
    if (::geteuid() != 0)
        QSKIP("mounting needs root");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name : {"a.img", "b.img"}) {
        QFile image(dir.filePath(QLatin1String(name)));
        QVERIFY(image.open(QIODevice::WriteOnly) && image.resize(8 << 20));
        image.close();
        int exitCode = -1;
        Tool(QStringLiteral("mkfs.ext4"),
             {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-m"), QStringLiteral("0"),
              image.fileName()},
             &exitCode, 60000);
        if (exitCode != 0)
            QSKIP("mkfs.ext4 is not available");
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANE_MOUNT_DIR"), dir.path());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"),
                {QStringLiteral("--mount"), QStringLiteral("--propagation"),
                 QStringLiteral("private"), QCoreApplication::applicationFilePath(),
                 QStringLiteral("followsItsFilesystemChild")});
    QVERIFY(child.waitForFinished(240000));
    const QString out = QString::fromLocal8Bit(child.readAll());
    if (out.contains(QLatin1String("cannot mount")))
        QSKIP(qPrintable(QStringLiteral("mounting is not allowed here: ") + out));
    QVERIFY2(child.exitCode() == 0 &&
                 out.contains(QLatin1String("PASS   : TestGauge::followsItsFilesystemChild")),
             qPrintable(out));
}

// Run by followsItsFilesystem in its own mount namespace.
void TestGauge::followsItsFilesystemChild() {
    const QString dir = qEnvironmentVariable("ORVANE_MOUNT_DIR");
    if (dir.isEmpty())
        QSKIP("run by followsItsFilesystem");
    const QString a = dir + QStringLiteral("/a"), b = dir + QStringLiteral("/b");
    auto mount = [](const QString &at) {
        QDir().mkpath(at);
        int exitCode = -1;
        const QByteArray err =
            Tool(QStringLiteral("mount"),
                 {QStringLiteral("-o"), QStringLiteral("loop"), at + QStringLiteral(".img"), at},
                 &exitCode, 60000);
        if (exitCode != 0)
            qInfo("cannot mount %s: %s", qPrintable(at), err.constData());
        return exitCode == 0;
    };
    if (!mount(b))
        QSKIP("cannot mount");
    QVERIFY(LeaveFree(b, 10));

    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\n[Pages]\nCount=2\n"));
    const QString drive = QStringLiteral("CHardDrive"); // the colours of any drive reading
    Fill seen;
    {
        Bar bar(home, {});
        QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
        QVERIFY(FocusOn(bar.Window()));
        // b's item: after the switch at the top and the items of the drives before it.
        LinuxSystemInfo system;
        QStringList items;
        for (const DriveInfo &d : system.Drives())
            if (d.free > 0)
                items << d.mountPoint;
        const QChar letter = system.LetterOf(b);
        QVERIFY(items.contains(b));
        QStringList keys(2 + items.indexOf(b), QStringLiteral("Down"));
        QVERIFY2(OpenMenuAt(bar, GaugeCentre), qPrintable(bar.Diagnostics()));
        QVERIFY(ChooseInMenu(bar, keys << QStringLiteral("Return")));
        QVERIFY(PollUntil([&] {
            return IniValue(home.SettingsFile(), "Gauge", "Type") ==
                   QString(letter) + QStringLiteral("HardDrive");
        }));
        QCOMPARE(IniValue(home.SettingsFile(), "Gauge", "TypeMount"),
                 QString(letter) + QLatin1Char(':') + b);
        QVERIFY2(PollUntil([&] { return Shows(bar, drive, FreePercentOf(b), &seen); }),
                 qPrintable(QStringLiteral("%1: %2 columns of %3")
                                .arg(FreePercentOf(b))
                                .arg(seen.columns)
                                .arg(seen.colour.name())));

        // a comes in front of b, and b's free space changes: the gauge follows b.
        QVERIFY(mount(a));
        QVERIFY(FreePercentOf(a) > 90);
        QVERIFY(LeaveFree(b, 40));
        QVERIFY2(PollUntil([&] { return Shows(bar, drive, FreePercentOf(b), &seen); }),
                 qPrintable(QStringLiteral("%1: %2 columns of %3")
                                .arg(FreePercentOf(b))
                                .arg(seen.columns)
                                .arg(seen.colour.name())));
        SaveScreenshot(QStringLiteral("gauge-followed"));
        QCOMPARE(bar.Terminate(), 0);
    }
    // The next start letters a before b: b is still the one graphed.
    QVERIFY(LinuxSystemInfo().LetterOf(a) < LinuxSystemInfo().LetterOf(b));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QVERIFY2(PollUntil([&] { return Shows(bar, drive, FreePercentOf(b), &seen); }),
             qPrintable(QStringLiteral("%1: %2 columns of %3")
                            .arg(FreePercentOf(b))
                            .arg(seen.columns)
                            .arg(seen.colour.name())));
    QCOMPARE(bar.Terminate(), 0);
    for (const QString &at : {a, b})
        Tool(QStringLiteral("umount"), {at});
}

QTEST_MAIN(TestGauge)
#include "tst_gauge.moc"
