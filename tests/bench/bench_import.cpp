// First-start import benchmark: a new installation on 300 desktop entries in 10 categories,
// the import question answered Yes, timed from the answer to the bar shown on the screen,
// against the floor of listing the same entries with GIO alone plus one parse and atomic
// rewrite of the resulting settings file (TNewIniFile). Also counts the rewrites of the
// settings file during the import (inotify: renames onto its name).
//
//   bench_import [ROUNDS]
//
// Every measurement runs in a fresh process of its own (GIO keeps what it has read for the life
// of a process), on the same entries. Needs a display (run.sh gives it a virtual one). Prints
// figures; judges nothing.

// GIO before any Qt header: Qt defines "signals", which GIO's headers use as a name.
#include <gio/gdesktopappinfo.h>

#include "BenchCommon.h"
#include "app/Icons.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/NewIniFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr int Entries = 300;
const char *const Categories[] = {"AudioVideo", "Development", "Education", "Game", "Graphics",
                                  "Network", "Office", "Settings", "System", "Utility"};

bool WriteFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void WriteEntries(const QString &applications) {
    for (int n = 0; n < Entries; ++n) {
        const QByteArray text = "[Desktop Entry]\nType=Application\nName=Program " + QByteArray::number(n) +
                                "\nComment=Benchmark entry\nExec=true --item " + QByteArray::number(n) +
                                " %U\nIcon=application-x-executable\nCategories=" +
                                Categories[n % 10] + ";\n";
        WriteFile(applications + QStringLiteral("/program%1.desktop").arg(n), text);
    }
}

// Questions are answered Yes, and the moment of the answer is kept.
class YesDialogs : public IDialogs {
public:
    QElapsedTimer answered;
    QStringList boxes;
    void Error(const QString &text) override { boxes << text; }
    void Message(const QString &text, int) override { boxes << text; }
    bool Question(const QString &, int) override {
        answered.start();
        return true;
    }
    QStringList OpenFiles(const QString &, const QString &, const QString &, bool) override { return {}; }
    QString SelectDirectory(const QString &, const QString &) override { return {}; }
    std::optional<QColor> ChooseColor(const QColor &, QList<QColor> &, int) override { return std::nullopt; }
    QAction *PopupMenu(QMenu *, const QPoint &) override { return nullptr; }
    std::optional<int> PickIcon(const QString &, int) override { return std::nullopt; }
};

int Renames(int fd, const QByteArray &name) {
    int count = 0;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        for (char *p = buffer; p < buffer + n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(p);
            count += event->len > 0 && name == event->name && (event->mask & IN_MOVED_TO);
            p += sizeof(inotify_event) + event->len;
        }
    return count;
}

// Child: the bar's first start with the import; prints "ms rewrites pages".
int ImportChild(const QString &configHome) {
    const QString directory = configHome + QStringLiteral("/orvane");
    QDir().mkpath(directory);
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ::inotify_add_watch(fd, QFile::encodeName(directory).constData(), IN_MOVED_TO);
    AppEnvironment environment;
    environment.programDirectory = configHome + QLatin1Char('/');
    environment.configHome = configHome;
    LinuxPlatform real(environment);
    YesDialogs dialogs;
    Platform platform = real.Get();
    platform.dialogs = &dialogs;
    TForm1 form(platform);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        QTextStream(stderr) << "the bar was never shown\n";
        return 1;
    }
    QCoreApplication::processEvents();
    const double ms = dialogs.answered.nsecsElapsed() / 1e6;
    QTextStream(stdout) << ms << ' ' << Renames(fd, "OV.INI") << ' ' << form.TabRow()->count()
                        << ' ' << dialogs.boxes.join(QLatin1Char('|')) << '\n';
    form.CloseWithoutQuestions();
    return 0;
}

// Child: the next start on the imported file (no question, no import), from the window's
// creation to the bar shown: what the bar costs without the import.
int RestartChild(const QString &configHome) {
    AppEnvironment environment;
    environment.programDirectory = configHome + QLatin1Char('/');
    environment.configHome = configHome;
    LinuxPlatform real(environment);
    YesDialogs dialogs;
    Platform platform = real.Get();
    platform.dialogs = &dialogs;
    QElapsedTimer timer;
    timer.start();
    TForm1 form(platform);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        QTextStream(stderr) << "the bar was never shown\n";
        return 1;
    }
    QCoreApplication::processEvents();
    QTextStream(stdout) << timer.nsecsElapsed() / 1e6 << ' ' << form.TabRow()->count() << '\n';
    form.CloseWithoutQuestions();
    return 0;
}

// Child: GIO's listing of the same entries, then one parse and atomic rewrite of the file.
int FloorChild(const QString &settingsFile) {
    QElapsedTimer timer;
    timer.start();
    int shown = 0;
    GList *all = g_app_info_get_all();
    for (GList *node = all; node; node = node->next) {
        GAppInfo *app = G_APP_INFO(node->data);
        if (g_app_info_should_show(app) && g_app_info_get_name(app) && g_app_info_get_commandline(app) &&
            g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(app)))
            ++shown;
    }
    g_list_free_full(all, g_object_unref);
    TNewIniFile ini(settingsFile);
    ini.ReadString(QStringLiteral("Location"), QStringLiteral("ButtonCount"), QString());
    ini.WriteString(QStringLiteral("Location"), QStringLiteral("Floor"), QStringLiteral("1"));
    QTextStream(stdout) << timer.nsecsElapsed() / 1e6 << ' ' << shown << '\n';
    return 0;
}

QStringList RunChild(const QString &self, const QStringList &arguments, const QProcessEnvironment &env) {
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(self, arguments);
    if (!child.waitForFinished(120000))
        qFatal("a measurement did not finish");
    return QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0) {
        QApplication app(argc, argv);
        const QString where = QString::fromLocal8Bit(argv[3]);
        if (qstrcmp(argv[2], "import") == 0)
            return ImportChild(where);
        return qstrcmp(argv[2], "restart") == 0 ? RestartChild(where) : FloorChild(where);
    }
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    WriteEntries(dir.filePath(QStringLiteral("data/applications")));
    QDir().mkpath(dir.filePath(QStringLiteral("system")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_DATA_DIRS"), dir.filePath(QStringLiteral("system")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("xdg-config")));
    const QString self = QCoreApplication::applicationFilePath();

    std::vector<double> imports, floors, restarts;
    QStringList notes;
    for (int round = 0; round < rounds; ++round) {
        const QString configHome = dir.filePath(QStringLiteral("config%1").arg(round));
        const QStringList import = RunChild(self, {QStringLiteral("--child"), QStringLiteral("import"), configHome}, env);
        imports.push_back(import.value(0).toDouble());
        if (import.value(1) != QLatin1String("1") || import.value(2) != QLatin1String("20") || import.size() > 3)
            notes << QStringLiteral("round %1: %2 rewrites, %3 pages, boxes: %4")
                         .arg(round).arg(import.value(1), import.value(2), import.mid(3).join(QLatin1Char(' ')));
        const QString copy = dir.filePath(QStringLiteral("floor%1.INI").arg(round));
        QFile::copy(configHome + QStringLiteral("/orvane/OV.INI"), copy);
        const QStringList floor = RunChild(self, {QStringLiteral("--child"), QStringLiteral("floor"), copy}, env);
        floors.push_back(floor.value(0).toDouble());
        restarts.push_back(RunChild(self, {QStringLiteral("--child"), QStringLiteral("restart"), configHome}, env)
                               .value(0).toDouble());
        if (floor.value(1) != QString::number(Entries))
            notes << QStringLiteral("round %1: GIO listed %2 entries").arg(round).arg(floor.value(1));
    }
    const double importMs = bench::Median(imports), floorMs = bench::Median(floors);
    QTextStream out(stdout);
    out << "First-start import, " << Entries << " desktop entries in 10 categories, median of " << rounds
        << " rounds (fresh process each)\n";
    out << QStringLiteral("  answer -> bar shown (import, 20 pages)   %1 ms\n").arg(importMs, 8, 'f', 1);
    out << QStringLiteral("  floor: GIO listing + parse + rewrite     %1 ms\n").arg(floorMs, 8, 'f', 1);
    out << QStringLiteral("  ratio                                    %1 x\n").arg(importMs / floorMs, 8, 'f', 2);
    out << QStringLiteral("  next start on that file (no import)      %1 ms\n").arg(bench::Median(restarts), 8, 'f', 1);
    out << "  settings file rewrites during the import: "
        << (notes.isEmpty() ? QStringLiteral("1 in every round") : QStringLiteral("see below")) << '\n';
    for (const QString &note : notes)
        out << "  " << note << '\n';
    return 0;
}
