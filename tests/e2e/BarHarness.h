#pragma once

// Starts the real bar on the test's display and looks at it from outside, the way a user's
// desktop sees it: windows through xdotool, xwininfo and xprop, pixels through ImageMagick's
// import, the settings file on disk. Every bar gets throw-away home and XDG directories.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace e2e {

// Runs a tool to its end and gives its standard output; exitCode is -1 when it did not finish.
inline QByteArray Tool(const QString &program, const QStringList &arguments,
                       int *exitCode = nullptr, int timeoutMs = 15000) {
    QProcess tool;
    tool.start(program, arguments);
    const bool finished = tool.waitForFinished(timeoutMs);
    if (!finished) {
        tool.kill();
        tool.waitForFinished();
    }
    if (exitCode)
        *exitCode = finished && tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    return tool.readAllStandardOutput();
}

// Polls a condition, letting events run in between, until it holds or the time is up.
template <typename Condition> bool PollUntil(Condition condition, int timeoutMs = 15000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

// Visible windows of a process whose title matches a regular expression (xdotool's syntax).
inline QStringList FindWindows(qint64 pid, const QString &titlePattern) {
    const QString out = QString::fromLocal8Bit(
        Tool(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--all"),
                                         QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                         QString::number(pid), QStringLiteral("--name"),
                                         titlePattern}));
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

inline QString WindowTitle(const QString &window) {
    return QString::fromUtf8(Tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window}))
        .trimmed();
}

// An open popup menu of a process: a window that bypasses the window manager and is not a
// tooltip (the bar shows hints at once, so a tooltip may come first), nor the icon docked in a
// notification area (that one is a child of the area's window, a menu is one of the root's).
inline QString PopupMenuWindow(qint64 pid) {
    for (const QString &window : FindWindows(pid, QStringLiteral(".*"))) {
        const QByteArray info = Tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
        const QByteArray type = Tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window,
                                                               QStringLiteral("_NET_WM_WINDOW_TYPE")});
        if (info.contains("Override Redirect State: yes") && !type.contains("_NET_WM_WINDOW_TYPE_TOOLTIP") &&
            QRegularExpression(QStringLiteral("Parent window id: \\S+ \\(the root window\\)"))
                .match(QString::fromLatin1(Tool(QStringLiteral("xwininfo"), {QStringLiteral("-tree"), QStringLiteral("-id"), window})))
                .hasMatch())
            return window;
    }
    return {};
}

// Where a top-level window is: its client area on the screen and the window manager's frame.
struct WindowPlace {
    QRect client;
    int frameLeft = 0, frameTop = 0;
    bool framed = false; // in a frame window of the window manager's
    QPoint FramePosition() const { return client.topLeft() - QPoint(frameLeft, frameTop); }
};

inline WindowPlace PlaceOf(const QString &window) {
    WindowPlace place;
    const QString info = QString::fromLocal8Bit(Tool(
        QStringLiteral("xwininfo"), {QStringLiteral("-tree"), QStringLiteral("-stats"), QStringLiteral("-id"), window}));
    auto number = [&info](const char *label) {
        const QRegularExpression re(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(label)));
        return re.match(info).captured(1).toInt();
    };
    place.client = QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"),
                         number("Width"), number("Height"));
    // Only a window the window manager put into a frame of its own has one. mutter leaves the
    // extents of the frame a window had on it when it manages the window again without one.
    const QRegularExpression parent(QStringLiteral("Root window id: (0x[0-9a-f]+).*\\n\\s*Parent window id: (0x[0-9a-f]+)"));
    const QRegularExpressionMatch tree = parent.match(info);
    place.framed = !tree.hasMatch() || tree.captured(1) != tree.captured(2);
    if (!place.framed)
        return place;
    // left, right, top, bottom; a frameless window has none or zeros.
    const QString extents = QString::fromLocal8Bit(
        Tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")}));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("=\\s*(\\d+),\\s*(\\d+),\\s*(\\d+),\\s*(\\d+)")).match(extents);
    if (m.hasMatch()) {
        place.frameLeft = m.captured(1).toInt();
        place.frameTop = m.captured(3).toInt();
    }
    return place;
}

// The usable width of the screen as the window manager publishes it.
inline int WorkAreaWidth() {
    const QString area = QString::fromLocal8Bit(
        Tool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_WORKAREA")}));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("=\\s*-?\\d+,\\s*-?\\d+,\\s*(\\d+)")).match(area);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// What a window shows now (the root window: the whole screen).
inline QImage Grab(const QString &window) {
    int exitCode = 0;
    const QByteArray png = Tool(QStringLiteral("import"),
                                {QStringLiteral("-window"), window, QStringLiteral("png:-")}, &exitCode);
    return exitCode == 0 ? QImage::fromData(png, "PNG") : QImage();
}

// A window's picture once it has stopped changing (painting done): two grabs in a row agree.
inline QImage SettledGrab(const QString &window, int timeoutMs = 10000) {
    QImage last = Grab(window);
    PollUntil([&] {
        const QImage next = Grab(window);
        const bool same = !next.isNull() && next == last;
        last = next;
        return same;
    }, timeoutMs);
    return last;
}

// Saves a picture of the whole screen into the build directory, for people to look at.
inline QString SaveScreenshot(const QString &name) {
    const QString path = QStringLiteral(ORVANE_BUILD_DIR "/e2e-%1.png").arg(name);
    SettledGrab(QStringLiteral("root")).save(path);
    qInfo("screenshot: %s", qPrintable(path));
    return path;
}

// Reads one value of an INI file as plain text, without the program's own reader.
inline QString IniValue(const QString &path, const QString &section, const QString &key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inSection = false;
    for (const QString &raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line.mid(1, line.indexOf(QLatin1Char(']')) - 1).trimmed()
                            .compare(section, Qt::CaseInsensitive) == 0;
        } else if (inSection) {
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq > 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
                return line.mid(eq + 1).trimmed();
        }
    }
    return {};
}

// Posts a shared-mode message on the session bus the way any program may: the copies' own form.
inline bool PostFromOutside(const QString &name) {
    int exitCode = 0;
    Tool(QStringLiteral("dbus-send"),
         {QStringLiteral("--session"), QStringLiteral("--type=signal"), QStringLiteral("/Orvane"),
          QStringLiteral("io.orvane.Shared.Message"), QStringLiteral("string:") + name,
          QStringLiteral("uint32:1"), QStringLiteral("int32:0")},
         &exitCode);
    return exitCode == 0;
}

// A home of the bar's own: settings in <dir>/config/orvane, nothing outside the temporary
// directory.
class BarHome {
public:
    BarHome() {
        for (const char *sub : {"home", "config", "data", "cache", "state", "runtime"})
            QDir(dir_.path()).mkpath(QLatin1String(sub));
        QFile::setPermissions(Path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(QStringLiteral("HOME"), Path("home"));
        env_.insert(QStringLiteral("XDG_CONFIG_HOME"), Path("config"));
        env_.insert(QStringLiteral("XDG_DATA_HOME"), Path("data"));
        env_.insert(QStringLiteral("XDG_CACHE_HOME"), Path("cache"));
        env_.insert(QStringLiteral("XDG_STATE_HOME"), Path("state"));
        env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), Path("runtime"));
        env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    bool IsValid() const { return dir_.isValid(); }
    QString Path(const char *sub) const { return dir_.filePath(QLatin1String(sub)); }
    QString SettingsFile(const QString &profile = {}) const {
        return Path("config") + QStringLiteral("/orvane/OV") + profile + QStringLiteral(".INI");
    }
    bool WriteSettings(const QByteArray &text, const QString &profile = {}) const {
        QDir().mkpath(Path("config") + QStringLiteral("/orvane"));
        QFile file(SettingsFile(profile));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
    }
    const QProcessEnvironment &Environment() const { return env_; }
    void SetEnvironment(const QString &name, const QString &value) { env_.insert(name, value); }
    void UnsetEnvironment(const QString &name) { env_.remove(name); }

private:
    QTemporaryDir dir_;
    QProcessEnvironment env_;
};

// One running copy of the real bar.
class Bar {
public:
    // startDirectory: the bar's current directory at start-up; empty, the test's own.
    Bar(const BarHome &home, const QStringList &arguments, const QString &startDirectory = {}) {
        process_.setProcessEnvironment(home.Environment());
        process_.setWorkingDirectory(startDirectory);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral(ORVANE_BINARY), arguments);
        process_.waitForStarted();
    }
    ~Bar() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(10000)) {
                process_.kill();
                process_.waitForFinished();
            }
        }
    }

    qint64 Pid() const { return process_.processId(); }

    // Waits for the main window (its caption ends with the page position). A new installation's
    // question is answered with No (Escape), or Yes (Alt+Y) when answerYes; questionAsked tells
    // whether it came.
    bool WaitForWindow(bool *questionAsked = nullptr, int timeoutMs = 30000, bool answerYes = false) {
        const qint64 pid = Pid();
        return PollUntil([&] {
            if (process_.state() == QProcess::NotRunning)
                return true;
            const QStringList main = FindWindows(pid, QStringLiteral("^Velmora .*Page [0-9]+ of [0-9]+$"));
            if (!main.isEmpty()) {
                window_ = main.first();
                return true;
            }
            const QStringList question = FindWindows(pid, QStringLiteral("^Confirm$"));
            if (!question.isEmpty()) {
                if (questionAsked)
                    *questionAsked = true;
                Tool(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                                 question.first(), QStringLiteral("key"),
                                                 answerYes ? QStringLiteral("alt+y") : QStringLiteral("Escape")});
            }
            return false;
        }, timeoutMs) && !window_.isEmpty();
    }

    // The bar's main window as it is now: shrinking and expanding may give it a new one.
    QString Window() const {
        const QStringList main = FindWindows(Pid(), QStringLiteral("^Velmora .*Page [0-9]+ of [0-9]+"));
        if (!main.isEmpty())
            window_ = main.first();
        return window_;
    }
    QString Title() const { return WindowTitle(Window()); }

    // The main window of a bar that started minimised: not among the visible windows, so found
    // by its name alone. Empty when it did not come.
    QString MinimisedWindow() const {
        QString window;
        PollUntil([&] {
            window = QString::fromLatin1(Tool(QStringLiteral("xdotool"),
                                              {QStringLiteral("search"), QStringLiteral("--pid"), QString::number(Pid()),
                                               QStringLiteral("--name"), QStringLiteral("^Velmora .*Page [0-9]+ of [0-9]+$")}))
                         .split('\n').value(0).trimmed();
            return !window.isEmpty();
        });
        return window;
    }

    // SIGTERM, then the exit code; -1 when the bar did not end normally within the time.
    int Terminate(int timeoutMs = 15000) {
        process_.terminate();
        if (!process_.waitForFinished(timeoutMs))
            return -1;
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

    // The bar's output and its visible windows, for failure messages.
    QString Diagnostics() {
        QString text = QStringLiteral("orvane %1; output:\n%2")
                           .arg(process_.state() == QProcess::NotRunning
                                    ? QStringLiteral("ended with %1").arg(process_.exitCode())
                                    : QStringLiteral("runs"),
                                QString::fromLocal8Bit(process_.readAll()));
        if (process_.state() != QProcess::NotRunning) {
            for (const QString &window : FindWindows(Pid(), QStringLiteral(".*")))
                text += QStringLiteral("\nwindow %1: \"%2\"").arg(window, WindowTitle(window));
        }
        return text;
    }

private:
    QProcess process_;
    mutable QString window_;
};

} // namespace e2e
