#pragma once

// What the benchmarks share: the theme icons the floor program shows, and a fully configured
// settings file of 20 pages of 21 buttons that uses the same icons.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// Settings files that repeat things: one section many times, one key many times.
inline std::string RepeatedSection(int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += "[Programs]\r\nSpeedButton1=/usr/bin/xterm\r\n";
    return out;
}

inline std::string RepeatedKey(int times) {
    std::string out = "[Programs]\r\n";
    for (int i = 0; i < times; ++i)
        out += "SpeedButton1=/usr/bin/xterm\r\n";
    return out;
}

// A settings file of about this many bytes of plausible lines: pages of 21 buttons, each with
// its program, icon, description, directory and options.
inline std::string PlausibleSettings(size_t bytes) {
    std::string out;
    out.reserve(bytes + 4096);
    // A bar in use: its place saved (a file without one is a new installation, which asks first).
    out += "[Location]\r\nTop=0\r\nButtonCount=21\r\n[Pages]\r\nCount=9999\r\n";
    for (int page = 1; out.size() < bytes; ++page) {
        const std::string p = std::to_string(page);
        out += "[Page" + p + "]\r\nName=Page " + p + "\r\n";
        for (int b = 1; b <= 21; ++b) {
            const std::string n = std::to_string(b);
            out += "SpeedButton" + n + "=/usr/bin/program-" + std::to_string(page * 21 + b) + " --option\r\n";
            out += "SpeedButton" + n + "Icon=/usr/share/icons/Adwaita/32x32/apps/app-" + n + ".png\r\n";
            out += "SpeedButton" + n + "Hint=Program number " + n + " of page " + p + "\r\n";
            out += "SpeedButton" + n + "Dir=/home/user/work\r\n";
            out += "SpeedButton" + n + "Options=0\r\n";
        }
    }
    return out;
}

// 0 when nothing was measured.
inline double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}


inline const std::vector<std::string> &IconNames() {
    static const std::vector<std::string> names = {
        "computer", "drive-harddisk", "printer", "audio-x-generic", "image-x-generic",
        "text-x-generic", "video-x-generic", "x-office-document", "x-office-spreadsheet",
        "x-office-presentation", "x-office-calendar", "x-office-drawing", "folder",
        "folder-documents", "folder-music", "folder-pictures", "folder-videos", "user-home",
        "user-trash", "network-server", "application-x-executable"};
    return names;
}

constexpr const char *IconTheme = "Adwaita";

// The 32 x 32 picture of a theme icon, or the name itself when the theme lacks it.
inline std::string IconFile(const std::string &name) {
    namespace fs = std::filesystem;
    const fs::path base = fs::path("/usr/share/icons") / IconTheme / "32x32";
    std::error_code error;
    for (const auto &category : fs::directory_iterator(base, error)) {
        const fs::path file = category.path() / (name + ".png");
        if (fs::exists(file, error))
            return file.string();
    }
    return name;
}

constexpr int Pages = 20;
constexpr int ButtonsPerPage = 21;

// Every button has a program, an icon, a description, a working directory and its options;
// every page a name of its own.
inline std::string FullSettings() {
    std::string text = "[Location]\nTop=100\nLeft=0\nButtonCount=" + std::to_string(ButtonsPerPage) +
                       "\nOnTop=No\n[Pages]\nCount=" + std::to_string(Pages) + "\n[Tabs]\n";
    for (int page = 1; page <= Pages; ++page)
        text += "PageTab" + std::to_string(page) + "=Group " + std::to_string(page) + "\n";
    const int buttons = Pages * ButtonsPerPage;
    std::vector<std::string> icons;
    for (const std::string &name : IconNames())
        icons.push_back(IconFile(name));
    auto section = [&](const char *name, auto value) {
        text += std::string("[") + name + "]\n";
        for (int n = 1; n <= buttons; ++n)
            text += "SpeedButton" + std::to_string(n) + "=" + value(n) + "\n";
    };
    section("Programs", [](int n) { return std::string(n % 2 ? "/usr/bin/xmessage" : "/usr/bin/xdpyinfo"); });
    section("Parameters", [](int n) { return "--item " + std::to_string(n); });
    section("Icons", [&](int n) { return icons[(n - 1) % icons.size()]; });
    section("Names", [](int n) { return "Program number " + std::to_string(n); });
    section("Shrink", [](int n) { return std::string(n % 3 ? "Yes" : "No"); });
    section("Working", [](int) { return std::string("/tmp"); });
    return text;
}

} // namespace bench
