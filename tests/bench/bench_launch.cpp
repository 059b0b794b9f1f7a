// Launch benchmark: the bar's window (with the real platform) on a fully configured settings file
// of 20 pages of 21 buttons, button 1 starting bench_launch_child, timing from just before the
// click to the moment the child's main() reads the clock:
//   - a mouse click on button 1 (press and release through Qt's event delivery),
//   - the click handler called directly,
// against the floor: a plain posix_spawn of the same program with the same arguments from the
// same process. The three alternate within each round, so they share the machine's load.
//
//   bench_launch [ROUNDS]
//
// The child writes its CLOCK_MONOTONIC reading to an inherited pipe. Runs on any Qt platform
// (run.sh uses the virtual display). Prints figures; judges nothing.

#include "BenchTools.h"
#include "LaunchBench.h"
#include "BenchCommon.h"
#include "app/Icons.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/NewIniFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QToolButton>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using bench::Median;
using bench::NowNs;
using bench::ReadStart;
using bench::WriteFile;

QString LoadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 100;
    const QByteArray child = BENCH_LAUNCH_CHILD;
    // The children write to the home's clock pipe: its write end is inherited, its read end is not.
    bench::LaunchBenchHome home;
    if (!home.Make(child))
        return 1;
    const int clockPipe = home.ClockPipe();
    const QByteArray fdArgument = home.FdArgument();
    LinuxPlatform platform(home.Environment());
    TForm1 form(platform.Get());
    QToolButton *button = bench::ShowBarWithButtonOne(platform, form);
    if (!button)
        return 1;

    // The bar's child ends before the next round starts, so no exit competes with a start.
    auto awaitBarChild = [&] {
        const qint64 handle = form.WatchedProcess();
        for (int i = 0; i < 5000 && platform.Get().processes->IsRunning(handle); ++i)
            ::usleep(200);
        QCoreApplication::processEvents();
    };
    auto clickTime = [&](const std::function<void()> &click, double *handlerMs) {
        const qint64 before = NowNs();
        click();
        const qint64 returned = NowNs();
        const qint64 started = ReadStart(clockPipe);
        awaitBarChild();
        if (handlerMs)
            *handlerMs = (returned - before) / 1e6;
        return started < 0 ? -1.0 : (started - before) / 1e6;
    };
    auto spawnTime = [&] {
        char *childArgv[] = {const_cast<char *>(child.constData()),
                             const_cast<char *>(fdArgument.constData()), nullptr};
        pid_t pid = 0;
        const qint64 before = NowNs();
        if (::posix_spawn(&pid, child.constData(), nullptr, nullptr, childArgv, environ) != 0)
            return -1.0;
        const qint64 started = ReadStart(clockPipe);
        ::waitpid(pid, nullptr, 0);
        return started < 0 ? -1.0 : (started - before) / 1e6;
    };

    const QStringList order = {QStringLiteral("mouse click on button 1 -> main()"),
                               QStringLiteral("ButtonClick() called -> main()"),
                               QStringLiteral("posix_spawn -> main() (floor)"),
                               QStringLiteral("mouse click handled (bar busy)"),
                               QStringLiteral("ButtonClick() returned (bar busy)")};
    std::map<QString, std::vector<double>> ms;
    const std::vector<std::function<double()>> ways = {
        [&] {
            double handler = 0;
            const double started = clickTime([&] { QTest::mouseClick(button, Qt::LeftButton); }, &handler);
            ms[order[3]].push_back(handler);
            return started;
        },
        [&] {
            double handler = 0;
            const double started = clickTime([&] { form.Guarded([&] { form.ButtonClick(button); }); }, &handler);
            ms[order[4]].push_back(handler);
            return started;
        },
        spawnTime};
    const int warmUp = 3;
    for (int round = -warmUp; round < rounds; ++round) {
        // Each way goes first, second and third in turn: none always follows the same one.
        for (int i = 0; i < 3; ++i) {
            const int way = (i + round + warmUp) % 3;
            const double started = ways[way]();
            if (started < 0) {
                QTextStream(stderr) << "a start was not reported by " << child << "\n";
                return 1;
            }
            ms[order[way]].push_back(started);
        }
    }
    // The warm-up rounds are left out.
    for (auto &[name, values] : ms)
        values.erase(values.begin(), values.begin() + warmUp);
    form.close();

    QTextStream out(stdout);
    const double floor = Median(ms[order[2]]);
    out << "Launching button 1 on a settings file of 20 pages x 21 buttons, " << rounds
        << " rounds (load average " << LoadAverage() << ")\n";
    out << QStringLiteral("%1 %2 %3 %4\n").arg(QString(), -36).arg(QStringLiteral("median ms"), 10)
               .arg(QStringLiteral("min ms"), 10).arg(QStringLiteral("x floor"), 9);
    for (const QString &name : order) {
        const std::vector<double> &values = ms[name];
        out << QStringLiteral("%1 %2 %3 %4\n").arg(name, -36).arg(Median(values), 10, 'f', 3)
                   .arg(*std::min_element(values.begin(), values.end()), 10, 'f', 3)
                   .arg(Median(values) / floor, 9, 'f', 1);
    }
    out << "(budget: a click to the program's start at most 2 x the direct posix_spawn)\n";
    return 0;
}
