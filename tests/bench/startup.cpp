// Start-up benchmark: the time from exec to the first window mapped on the screen, and the
// program's resident memory at that moment, measured side by side, round after round, for
//   floor        a bare Qt window with the bar's visible parts (bench_floor)
//   orvane-new   the bar on a new settings directory
//   orvane-full  the bar on a settings file of 20 pages of 21 configured buttons
//   orvane-99999-buttons  "Location"/"ButtonCount" = 99999: one page of 99,999 buttons
//   orvane-6249-pages     "Pages"/"Count" = 99999999, cut to 6,249 pages of 16 by the bound
//   orvane-section-100000x, orvane-key-100000x  one section or one key repeated 100,000 times
//   orvane-plausible-50MB  50 MB of plausible lines
// The pathological ones are measured in at most 3 rounds.
//
//   bench_startup ORVANE FLOOR [ROUNDS [VARIANT]]
//
// Runs on the display in $DISPLAY (run.sh gives it a virtual one with a window manager). The
// first map of a direct child of the root window counts: the window manager's frame, mapped
// as soon as it has taken the program's window, or the window itself without a manager.
// Prints figures only; nothing is judged here.

#include "BenchCommon.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using bench::Median;

struct Sample {
    double ms = 0;
    long rssKb = 0;
    std::string title;
};

struct Variant {
    std::string name;
    std::string program;
    std::string settings; // the settings file; none when empty
    int maxRounds = 1 << 30;
};

long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// The name of the first window with one, in the tree under window.
std::string TitleUnder(Display *display, Window window) {
    char *name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        std::string title = name;
        XFree(name);
        return title;
    }
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    std::string title;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && title.empty(); ++i)
            title = TitleUnder(display, children[i]);
        if (children)
            XFree(children);
    }
    return title;
}

int IgnoreXErrors(Display *, XErrorEvent *) { return 0; }

void StopChild(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(50 * 1000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool Measure(Display *display, const Variant &variant, Sample *sample) {
    char pattern[] = "/tmp/orvane-bench.XXXXXX";
    if (!mkdtemp(pattern))
        return false;
    const fs::path home = pattern;
    for (const char *sub : {"config/orvane", "data", "cache", "state", "runtime"})
        fs::create_directories(home / sub);
    fs::permissions(home / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    if (!variant.settings.empty())
        std::ofstream(home / "config/orvane/OV.INI") << variant.settings;

    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, True); // start from an empty queue

    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
        setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        execl(variant.program.c_str(), variant.program.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }

    bool mapped = false;
    const Clock::time_point deadline = start + std::chrono::seconds(300);
    while (!mapped && Clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "%s ended before mapping a window\n", variant.name.c_str());
            fs::remove_all(home);
            return false;
        }
        if (!XPending(display)) {
            pollfd fd = {ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, 100);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify && event.xmap.event == root) {
            const Clock::time_point seen = Clock::now();
            sample->rssKb = ResidentKb(pid);
            sample->ms = std::chrono::duration<double, std::milli>(seen - start).count();
            sample->title = TitleUnder(display, event.xmap.window);
            mapped = true;
        }
    }
    XSelectInput(display, root, NoEventMask);
    StopChild(pid);
    fs::remove_all(home);
    if (!mapped)
        std::fprintf(stderr, "%s mapped no window within 300 s\n", variant.name.c_str());
    return mapped;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ORVANE FLOOR [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    XSetErrorHandler(IgnoreXErrors); // windows may go away while their names are read

    const std::string settings = bench::FullSettings();
    std::vector<Variant> variants = {
        {"floor", argv[2], ""},
        {"orvane-new", argv[1], ""},
        {"orvane-full", argv[1], settings},
        {"orvane-99999-buttons", argv[1], "[Location]\nTop=100\nLeft=0\nButtonCount=99999\n", 3},
        {"orvane-6249-pages", argv[1], "[Location]\nTop=100\nLeft=0\nButtonCount=16\n[Pages]\nCount=99999999\n", 3},
        {"orvane-section-100000x", argv[1], bench::RepeatedSection(100000), 3},
        {"orvane-key-100000x", argv[1], bench::RepeatedKey(100000), 3},
        {"orvane-plausible-50MB", argv[1], bench::PlausibleSettings(50 << 20), 3}};
    // A fourth argument picks the variants whose names hold it (the floor is always measured).
    if (argc > 4) {
        const std::string only = argv[4];
        variants.erase(std::remove_if(variants.begin() + 1, variants.end(),
                                      [&](const Variant &v) { return v.name.find(only) == std::string::npos; }),
                       variants.end());
    }
    std::map<std::string, std::vector<Sample>> samples;

    // One untimed start of each first, so that every figure sees warm file caches.
    // The slow pathological files need no warming.
    for (const Variant &variant : variants) {
        Sample warmup;
        if (variant.maxRounds >= rounds && !Measure(display, variant, &warmup))
            return 1;
    }
    for (int round = 0; round < rounds; ++round)
        for (const Variant &variant : variants) {
            if (round >= variant.maxRounds)
                continue;
            Sample sample;
            if (!Measure(display, variant, &sample))
                return 1;
            samples[variant.name].push_back(sample);
        }

    std::printf("Start-up, exec to first mapped window (%d rounds, side by side; settings file %zu bytes)\n",
                rounds, settings.size());
    std::printf("%-21s %10s %8s %8s %8s %9s %8s  %s\n", "", "median ms", "min ms", "max ms", "x floor",
                "RSS MiB", "x floor", "first window");
    double floorMs = 0, floorRss = 0;
    for (const Variant &variant : variants) {
        const std::vector<Sample> &list = samples[variant.name];
        std::vector<double> ms, rss;
        for (const Sample &s : list) {
            ms.push_back(s.ms);
            rss.push_back(s.rssKb / 1024.0);
        }
        if (floorMs == 0) {
            floorMs = Median(ms);
            floorRss = Median(rss);
        }
        std::printf("%-21s %10.1f %8.1f %8.1f %8.2f %9.1f %8.2f  \"%s\"\n", variant.name.c_str(), Median(ms),
                    *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()),
                    Median(ms) / floorMs, Median(rss), Median(rss) / floorRss, list.back().title.c_str());
    }
    std::printf("(budget: start-up and memory each at most 1.3 x the floor)\n");
    XCloseDisplay(display);
    return 0;
}
