// Gauge benchmark: one tick of the bar's gauge (the reading and the immediate repaint it
// causes) with the real platform, for the drive reading of "/" and for the memory reading,
// against the floor of each: the bare statvfs("/") and the bare read of /proc/meminfo.
//
//   bench_gauge [TICKS]
//
// Runs on any Qt platform (run.sh uses the virtual display). Prints figures; judges nothing.

#include "BenchCommon.h"
#include "app/Icons.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/Profile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {
// Microseconds of each of n runs.
std::vector<double> Runs(int n, const std::function<void()> &operation) {
    std::vector<double> us;
    us.reserve(n);
    QElapsedTimer timer;
    for (int i = 0; i < n; ++i) {
        timer.start();
        operation();
        us.push_back(timer.nsecsElapsed() / 1e3);
    }
    return us;
}

volatile unsigned long sink;
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1000;
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    const QString configHome = home.filePath(QStringLiteral("config"));
    QDir().mkpath(configHome + QStringLiteral("/orvane"));
    // An installation that has been used: a new one would ask the first-start question.
    QFile ini(ResolveSettingsPaths(home.path(), configHome, QString()).iniFile);
    if (!ini.open(QIODevice::WriteOnly) || ini.write("[Location]\r\nTop=100\r\nLeft=100\r\n") < 0)
        return 1;
    ini.close();
    AppEnvironment environment;
    environment.programDirectory = home.path() + QLatin1Char('/');
    environment.configHome = configHome;
    LinuxPlatform platform(environment);
    TForm1 form(platform.Get());
    platform.SetDialogParent(&form);
    form.ReadingTimer()->stop(); // the benchmark ticks itself
    form.show();
    // Repaints reach the screen only once the window is mapped.
    QElapsedTimer waited;
    waited.start();
    while (!(form.windowHandle() && form.windowHandle()->isExposed()) && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    const auto statvfsFloor = Runs(ticks, [] {
        struct statvfs st {};
        ::statvfs("/", &st);
        sink = st.f_bavail;
    });
    const auto meminfoFloor = Runs(ticks, [] {
        char buffer[8192];
        const int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
        ssize_t total = 0;
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            total += n;
        ::close(fd);
        sink = total;
    });
    form.Items().setup.drives['C' - 'C']->trigger(); // as chosen from the gauge's menu
    form.GaugeTimer();
    const int paintsBefore = form.Gauge()->PaintCount();
    const auto driveTick = Runs(ticks, [&] { form.GaugeTimer(); });
    const int drivePaints = form.Gauge()->PaintCount() - paintsBefore;
    form.Items().setup.SystemMemory1->trigger();
    const auto memoryTick = Runs(ticks, [&] { form.GaugeTimer(); });
    const auto repaintOnly =
        Runs(ticks, [&] { form.Gauge()->setProgressText(form.Gauge()->ProgressText()); });
    const auto composeOnly = Runs(ticks, [&] { sink = form.Gauge()->Render().width(); });

    QTextStream out(stdout);
    out << "Gauge ticks, " << ticks << " each (" << drivePaints << " repaints in " << ticks
        << " drive ticks)\n";
    out << QStringLiteral("%1 %2 %3 %4\n")
               .arg(QString(), -34)
               .arg(QStringLiteral("median us"), 10)
               .arg(QStringLiteral("worst us"), 10)
               .arg(QStringLiteral("x floor"), 8);
    auto row = [&](const QString &name, const std::vector<double> &values,
                   const std::vector<double> &floor) {
        out << QStringLiteral("%1 %2 %3 %4\n")
                   .arg(name, -34)
                   .arg(bench::Median(values), 10, 'f', 1)
                   .arg(*std::max_element(values.begin(), values.end()), 10, 'f', 1)
                   .arg(bench::Median(values) / bench::Median(floor), 8, 'f', 1);
    };
    row(QStringLiteral("floor: statvfs(\"/\")"), statvfsFloor, statvfsFloor);
    row(QStringLiteral("floor: read /proc/meminfo"), meminfoFloor, meminfoFloor);
    row(QStringLiteral("tick: drive C (reading + repaint)"), driveTick, statvfsFloor);
    row(QStringLiteral("tick: memory (reading + repaint)"), memoryTick, meminfoFloor);
    row(QStringLiteral("repaint alone (to the screen)"), repaintOnly, statvfsFloor);
    row(QStringLiteral("composing the picture alone"), composeOnly, statvfsFloor);
    out << "(goal: a tick at most 3 x its floor)\n";
    form.close();
    return 0;
}
