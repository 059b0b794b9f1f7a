#pragma once

// Works the real bar the way a person does: the pointer and the keyboard through xdotool, at
// places found on the screen. Also a small program that records how it was started, and the
// settings file read whole, for exact comparisons.

#include "BarHarness.h"

#include <QMap>

namespace e2e {

inline bool Xdo(const QStringList &arguments) {
    int exitCode = 0;
    Tool(QStringLiteral("xdotool"), arguments, &exitCode);
    return exitCode == 0;
}

// A path as the bar stores it when it holds blanks or quotes: one single-quoted shell word.
inline QString ShellWord(const QString &path) {
    return QLatin1Char('\'') + QString(path).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

// The bar's client area: the gauge column, then the launch buttons, the tab row below them.
constexpr int kGaugeColumn = 44;
constexpr int kButtonWidth = 36;
constexpr int kTabRowTop = 36;
constexpr int kTabRowHeight = 18;

// The centre of launch button `slot` (from 1) of the shown page, in client coordinates.
inline QPoint ButtonCentre(int slot) { return QPoint(kGaugeColumn + kButtonWidth * (slot - 1) + kButtonWidth / 2, 18); }

// Moves the pointer to a point of the bar's client area, wherever the window is now, and
// clicks there (1 left, 3 right).
inline bool ClickAt(const Bar &bar, const QPoint &clientPoint, int button = 1) {
    const QPoint at = PlaceOf(bar.Window()).client.topLeft() + clientPoint;
    // A synchronous move waits for the pointer to arrive, which it never does when it is there
    // already (a second click on the same spot): it leaves the spot first.
    const QPoint away = at.manhattanLength() > 2 ? QPoint(0, 0) : QPoint(100, 100);
    return Xdo({QStringLiteral("mousemove"), QString::number(away.x()), QString::number(away.y()),
                QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                QString::number(at.y()), QStringLiteral("click"), QString::number(button)});
}

inline QString FocusedWindow() {
    return QString::fromLatin1(Tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")})).trimmed();
}

// Gives a window the keyboard and waits until it has it.
inline bool FocusOn(const QString &window) {
    Xdo({QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
    return PollUntil([&] { return FocusedWindow() == window; });
}

inline bool Keys(const QStringList &keys) { return Xdo(QStringList{QStringLiteral("key")} + keys); }

inline bool Type(const QString &text) {
    return Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

// A click that opens a popup menu; true once the menu is on the screen.
inline bool OpenMenuAt(const Bar &bar, const QPoint &clientPoint, int button = 3) {
    return ClickAt(bar, clientPoint, button) && PollUntil([&] { return !PopupMenuWindow(bar.Pid()).isEmpty(); });
}

// Presses keys in the open menu; true once it has closed, so that what the chosen item opened
// gets the keys that follow.
inline bool ChooseInMenu(const Bar &bar, const QStringList &keys) {
    return Keys(keys) && PollUntil([&] { return PopupMenuWindow(bar.Pid()).isEmpty(); });
}

// Waits for a visible window of the bar with exactly this title.
inline QString WaitForWindowTitled(const Bar &bar, const QString &title) {
    QString found;
    const QString pattern = QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$');
    PollUntil([&] {
        found = FindWindows(bar.Pid(), pattern).value(0);
        return !found.isEmpty();
    });
    return found;
}

// The tabs as the tab row shows them, left to right: the centre of each, in client
// coordinates. A tab is a run of its fill colour (selected or not) just above the row's bottom
// line, where the tabs stand apart and no letter reaches (tab names without descenders).
inline QList<QPoint> TabCentres(const Bar &bar, const QList<QColor> &fills) {
    const QImage picture = SettledGrab(bar.Window());
    QList<QPoint> centres;
    const int y = kTabRowTop + kTabRowHeight - 3;
    if (picture.isNull() || y >= picture.height())
        return centres;
    auto isFill = [&](int x) { return fills.contains(picture.pixelColor(x, y)); };
    for (int x = kGaugeColumn; x < picture.width();) {
        if (!isFill(x)) {
            ++x;
            continue;
        }
        const int start = x;
        while (x < picture.width() && isFill(x))
            ++x;
        if (x - start >= 6) // a tab, not a stray pixel
            centres.append(QPoint((start + x - 1) / 2, kTabRowTop + kTabRowHeight / 2));
    }
    return centres;
}

// A program that writes its working directory (pwd -P) and its arguments, one a line, to
// <itself>.record each time it runs. The record appears whole (renamed into place).
class Recorder {
public:
    explicit Recorder(const QString &path) : path_(path) {}
    bool Install() const {
        QFile file(path_);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write("#!/bin/sh\n"
                   "{ pwd -P; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$0.part\" &&\n"
                   "    mv \"$0.part\" \"$0.record\"\n");
        file.close();
        return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QString &Path() const { return path_; }
    QString RecordFile() const { return path_ + QStringLiteral(".record"); }
    bool Ran() const { return QFile::exists(RecordFile()); }
    bool WaitUntilRan(int timeoutMs = 15000) const { return PollUntil([this] { return Ran(); }, timeoutMs); }
    // The working directory first, then the arguments.
    QStringList Record() const {
        QFile file(RecordFile());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

private:
    QString path_;
};

// One section of a settings file as plain text: key -> value, keys lowercased (the bar matches
// them without regard to case), blanks around both trimmed. Empty when the section is missing.
using IniSection = QMap<QString, QString>;

inline IniSection ReadIniSection(const QString &path, const QString &section) {
    IniSection values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    bool inSection = false;
    for (const QString &raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line.mid(1, line.indexOf(QLatin1Char(']')) - 1).trimmed()
                            .compare(section, Qt::CaseInsensitive) == 0;
        } else if (inSection) {
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq > 0 && !values.contains(line.left(eq).trimmed().toLower()))
                values.insert(line.left(eq).trimmed().toLower(), line.mid(eq + 1).trimmed());
        }
    }
    return values;
}

// The page position at the end of the bar's caption: "Page 2 of 3".
inline QString PagePosition(const Bar &bar) {
    const QString title = bar.Title();
    return title.mid(title.lastIndexOf(QStringLiteral("Page ")));
}

// Whether the bar process has ended (its QProcess has seen it go).
inline bool WaitForEnd(const Bar &bar, int timeoutMs = 15000) {
    return PollUntil([&] { return bar.Pid() == 0; }, timeoutMs);
}

} // namespace e2e
