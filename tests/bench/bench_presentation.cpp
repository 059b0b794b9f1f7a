// Presentation benchmark, with the real platform on a fully configured bar:
//   - the watch: a launch with "Shrink on Launch" shrinks the bar; the program (bench_launch_child)
//     waits 300 ms (the bar has settled, as with any real program), reads the clock and exits;
//     timed from its clock reading to the X server's configure notification of the bar's window at
//     its expanded size. The floor: the same program started with posix_spawn, timed from its
//     clock reading to its pidfd becoming readable. The two alternate within each round.
//   - shrink and expand: a click on the gauge to the X server's configure notification of the
//     bar's window at its new size (or its map, when Qt made the native window anew).
//   - the window manager's share: a bare window given back its frame and its size, to the
//     configure notification; what any expand costs before the bar does anything.
//
//   bench_presentation [ROUNDS]
//
// Runs on the virtual display of tests/e2e/with-display.sh. Prints figures; judges nothing.

#include "BenchCommon.h"
#include "BenchTools.h"
#include "LaunchBench.h"
#include "app/Icons.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/NewIniFile.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QResizeEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char **environ;

namespace {
using bench::Median;
using bench::NowNs;
using bench::ReadStart;

// Runs the event loop until the condition holds; the clock when it did, or -1 after 5 s. The
// loop sleeps between events as the bar's own does: a busy loop would lose the processor to
// anything else running and measure the scheduler instead of the bar.
qint64 WhenHolds(const std::function<bool()> &condition) {
    const qint64 deadline = NowNs() + 5000000000LL;
    QTimer wake;
    wake.start(5000); // the sleep ends by the deadline at the latest
    while (NowNs() < deadline) {
        if (condition())
            return NowNs();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return condition() ? NowNs() : -1;
}

// The clock of the X server's configure notification of the bar's window at a size, or of the
// map of a window made anew at that size: the server has the window at that size, the step a
// user sees. (Qt takes a size it asked for as
// the window's at once, before the server has done anything.)
class ConfigureClock : public QAbstractNativeEventFilter {
public:
    explicit ConfigureClock(QWidget &form) : form_(form) { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~ConfigureClock() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    // From now on, the clock of the next configure at this size.
    void Await(QSize size) {
        size_ = size;
        at_ = -1;
    }
    qint64 At() const { return at_; }

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override {
        if (type != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        const int kind = event->response_type & 0x7f;
        if (at_ >= 0 || (kind != XCB_CONFIGURE_NOTIFY && kind != XCB_MAP_NOTIFY))
            return false;
        const xcb_window_t window = xcb_window_t(form_.windowHandle()->winId());
        if (kind == XCB_CONFIGURE_NOTIFY) {
            const auto *configure = static_cast<const xcb_configure_notify_event_t *>(message);
            if (configure->window == window && QSize(configure->width, configure->height) == size_)
                at_ = NowNs();
        } else if (static_cast<const xcb_map_notify_event_t *>(message)->window == window &&
                   form_.size() == size_) {
            at_ = NowNs(); // a window made anew at that size is mapped
        }
        return false;
    }

private:
    QWidget &form_; // its native window is made anew when Qt must (a shrink to stay on top)
    QSize size_;
    qint64 at_ = -1;
};

// The clock when the bar's widget was last resized to a size: the expand has begun, in the bar's
// own code, before the desktop has seen anything of it.
class ResizeClock : public QObject {
public:
    ResizeClock(QWidget *widget, QSize size) : size_(size) { widget->installEventFilter(this); }
    qint64 at = -1;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Resize && static_cast<QResizeEvent *>(event)->size() == size_)
            at = NowNs();
        return false;
    }

private:
    QSize size_;
};

double Worst(const std::vector<double> &values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 50;
    const QByteArray child = BENCH_LAUNCH_CHILD;
    bench::LaunchBenchHome home;
    if (!home.Make(child, QStringLiteral(" 300")))
        return 1;
    {
        TNewIniFile ini(home.IniPath());
        ini.WriteString(QStringLiteral("Location"), QStringLiteral("Shrink"), QStringLiteral("Yes"));
        ini.WriteString(QStringLiteral("Location"), QStringLiteral("Hide"), QStringLiteral("No"));
        ini.WriteString(QStringLiteral("Location"), QStringLiteral("AutoExpand"), QStringLiteral("Yes"));
    }
    const int clockPipe = home.ClockPipe();
    const QByteArray fdArgument = home.FdArgument();
    LinuxPlatform platform(home.Environment());
    TForm1 form(platform.Get());
    QToolButton *button = bench::ShowBarWithButtonOne(platform, form);
    if (!button)
        return 1;
    QTest::qWait(1500); // the window manager's placing is over
    const QSize expanded = form.size();
    const QSize shrunk = form.GaugePanel()->size();

    std::vector<double> watchMs, noticedMs, floorMs, shrinkMs, expandMs;
    ResizeClock resized(&form, expanded);
    ConfigureClock configured(form);
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        // The bar: launch (it shrinks), the child exits, the watch expands the bar.
        QTest::mouseClick(button, Qt::LeftButton);
        resized.at = -1;
        configured.Await(expanded);
        const qint64 childClock = ReadStart(clockPipe);
        const qint64 back = WhenHolds([&] { return configured.At() >= 0; });
        if (childClock < 0 || back < 0 || resized.at < 0) {
            ++failures;
        } else {
            watchMs.push_back((back - childClock) / 1e6);
            noticedMs.push_back((resized.at - childClock) / 1e6);
        }

        // The floor: the same program, its pidfd polled directly.
        char delay[] = "300";
        char *childArgv[] = {const_cast<char *>(child.constData()), const_cast<char *>(fdArgument.constData()), delay,
                             nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, child.constData(), nullptr, nullptr, childArgv, environ) == 0) {
            const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
            const qint64 clock = ReadStart(clockPipe);
            pollfd ended{pidfd, POLLIN, 0};
            const bool seen = pidfd >= 0 && ::poll(&ended, 1, 5000) == 1;
            const qint64 at = NowNs();
            if (pidfd >= 0)
                ::close(pidfd);
            ::waitpid(pid, nullptr, 0);
            if (clock < 0 || !seen)
                ++failures;
            else
                floorMs.push_back((at - clock) / 1e6);
        }

        // Shrink and expand by the gauge.
        QTest::qWait(20);
        configured.Await(shrunk);
        qint64 before = NowNs();
        QTest::mouseClick(form.Gauge(), Qt::LeftButton);
        qint64 at = WhenHolds([&] { return configured.At() >= 0; });
        if (at < 0)
            ++failures;
        else
            shrinkMs.push_back((at - before) / 1e6);
        QTest::qWait(20);
        configured.Await(expanded);
        before = NowNs();
        QTest::mouseClick(form.Gauge(), Qt::LeftButton);
        at = WhenHolds([&] { return configured.At() >= 0; });
        if (at < 0)
            ++failures;
        else
            expandMs.push_back((at - before) / 1e6);
        QTest::qWait(20);
    }

    // The window manager's own share: a bare window of the bar's sizes and hints, framed and
    // resized back from a frameless stay-on-top gauge size, to its configure notification.
    std::vector<double> managerMs;
    form.hide();
    QWidget bare;
    bare.setFixedSize(expanded);
    bare.show();
    if (QTest::qWaitForWindowExposed(&bare)) {
        QTest::qWait(500);
        ConfigureClock bareConfigured(bare);
        const Qt::WindowFlags framed = bare.windowFlags();
        for (int round = 0; round < rounds; ++round) {
            bareConfigured.Await(shrunk);
            bare.overrideWindowFlags(framed | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
            bare.windowHandle()->setFlags(bare.windowFlags());
            bare.setFixedSize(shrunk);
            WhenHolds([&] { return bareConfigured.At() >= 0; });
            QTest::qWait(20);
            bareConfigured.Await(expanded);
            const qint64 before = NowNs();
            bare.setFixedSize(expanded);
            bare.overrideWindowFlags(framed);
            bare.windowHandle()->setFlags(framed);
            const qint64 at = WhenHolds([&] { return bareConfigured.At() >= 0; });
            if (at < 0)
                ++failures;
            else
                managerMs.push_back((at - before) / 1e6);
            QTest::qWait(20);
        }
    }

    QTextStream out(stdout);
    out << "Presentations, " << rounds << " rounds (" << failures << " not completed)\n";
    out << QStringLiteral("%1 %2 %3\n").arg(QString(), -44).arg(QStringLiteral("median ms"), 10).arg(QStringLiteral("worst ms"), 10);
    auto row = [&](const QString &name, const std::vector<double> &ms) {
        out << QStringLiteral("%1 %2 %3\n").arg(name, -44).arg(Median(ms), 10, 'f', 3).arg(Worst(ms), 10, 'f', 3);
    };
    row(QStringLiteral("program's end -> bar expanded (watch)"), watchMs);
    row(QStringLiteral("program's end -> bar resizing (watch noticed)"), noticedMs);
    row(QStringLiteral("program's end -> pidfd readable (floor)"), floorMs);
    row(QStringLiteral("gauge click -> shrunk window configured"), shrinkMs);
    row(QStringLiteral("gauge click -> expanded window configured"), expandMs);
    row(QStringLiteral("bare window framed and resized -> configured"), managerMs);
    return 0;
}
