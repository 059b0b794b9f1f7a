// The real bar's gauge: at start it graphs the free space of the drive holding the program, as
// statvfs reports it; the setup menu opened on it lists the drives, and choosing "Graph System
// Memory" stores the choice and graphs the memory load. Screenshots of both readings and of the
// open menu go into the build directory.

#include "BarDriver.h"
#include "gauge/GaugeRules.h"

#include <QtTest>
#include <sys/statvfs.h>

using namespace e2e;

namespace {
const QPoint GaugeCentre(22, 9);
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

QTEST_MAIN(TestGauge)
#include "tst_gauge.moc"
