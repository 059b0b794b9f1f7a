// Page operation benchmark through the window: the bar (with the real platform, its questions
// answered Yes) on a fully configured settings file of 20 pages of 21 buttons, timing the page
// menu's
//   - "Delete Page" on page 1,
//   - "Add Page" on page 1 (a new page there),
//   - "Move Page" on page 1, then the put-back by a click on the last tab (behind page 19),
// each with the rebuild of the window that follows it, against the floor of any change to that
// file: one parse and atomic rewrite by TNewIniFile. bench_pages times the file work alone.
//
// Beside the times, what each step did to the settings file, seen through inotify: how often it
// was replaced (a rename onto its name), whether it was written in place, and whether it has a
// new inode afterwards.
//
//   bench_pageops [ROUNDS]
//
// Every operation starts from a fresh window on a fresh copy of the file. Runs on any Qt platform
// (run.sh uses the virtual display). Prints figures; judges nothing.

#include "BenchTools.h"
#include "BenchCommon.h"
#include "app/Icons.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/NewIniFile.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <algorithm>
#include <functional>
#include <map>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::Median;
using bench::Time;
using bench::WriteFile;

QString LoadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

// Questions are answered Yes; any other box means the operation did not go as it should.
class YesDialogs : public IDialogs {
public:
    QStringList boxes;
    void Error(const QString &text) override { boxes << text; }
    void Message(const QString &text, int) override { boxes << text; }
    bool Question(const QString &, int) override { return true; }
    QStringList OpenFiles(const QString &, const QString &, const QString &, bool) override { return {}; }
    QString SelectDirectory(const QString &, const QString &) override { return {}; }
    std::optional<QColor> ChooseColor(const QColor &, QList<QColor> &, int) override { return std::nullopt; }
    QAction *PopupMenu(QMenu *, const QPoint &) override { return nullptr; }
    std::optional<int> PickIcon(const QString &, int) override { return std::nullopt; }
};

// What happened to one file of a directory: replacements (renames onto its name) and writes in
// place. The atomic rewrite closes its temporary file after the rename, so a closed write under
// the name would count every replacement twice: writes are seen when they happen instead.
struct FileChanges {
    int replaced = 0;
    bool inPlace = false;
};

class Rewrites {
public:
    Rewrites(const QString &directory, const QString &name) : name_(QFile::encodeName(name)) {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0)
            ::inotify_add_watch(fd_, QFile::encodeName(directory).constData(), IN_MOVED_TO | IN_MODIFY);
    }
    ~Rewrites() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Rewrites(const Rewrites &) = delete;
    Rewrites &operator=(const Rewrites &) = delete;
    bool Valid() const { return fd_ >= 0; }
    // The changes since the last call.
    FileChanges Take() {
        FileChanges changes;
        alignas(inotify_event) char buffer[8192];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
            for (char *p = buffer; p < buffer + n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(p);
                if (event->len > 0 && name_ == event->name) {
                    changes.replaced += (event->mask & IN_MOVED_TO) != 0;
                    changes.inPlace |= (event->mask & IN_MODIFY) != 0;
                }
                p += sizeof(inotify_event) + event->len;
            }
        }
        return changes;
    }

private:
    int fd_ = -1;
    QByteArray name_;
};

ino_t Inode(const QString &path) {
    struct stat info{};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// What one step of an operation did to the settings file.
struct FileEffect {
    std::vector<int> rewrites;
    std::vector<bool> inPlace;  // it was written in place
    std::vector<bool> newInode; // it had another inode afterwards

    void Add(const FileChanges &changes, bool otherInode) {
        rewrites.push_back(changes.replaced);
        inPlace.push_back(changes.inPlace);
        newInode.push_back(otherInode);
    }
};

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    const std::string settings = bench::FullSettings();

    const QStringList order = {QStringLiteral("delete page 1"),
                               QStringLiteral("insert a page at 1"),
                               QStringLiteral("move page 1 behind page 19"),
                               QStringLiteral("  of which: take page 1 out"),
                               QStringLiteral("  of which: put it back behind 19"),
                               QStringLiteral("TNewIniFile parse"),
                               QStringLiteral("TNewIniFile parse + atomic rewrite")};
    std::map<QString, std::vector<double>> ms;
    std::map<QString, FileEffect> effects;
    int windows = 0;
    QStringList faults;

    // A fresh window on a fresh copy of the file; runs the steps of one operation on it, each
    // timed with its rebuild and watched for file replacements.
    using Step = std::pair<QString, std::function<void(TForm1 &)>>;
    auto measure = [&](const std::vector<Step> &steps, const std::function<QString(TForm1 &)> &check) {
        const QString configHome = home.filePath(QStringLiteral("config%1").arg(++windows));
        const QString directory = configHome + QStringLiteral("/orvane");
        QDir().mkpath(directory);
        const QString iniPath = directory + QStringLiteral("/OV.INI");
        if (!WriteFile(iniPath, settings))
            qFatal("cannot write %s", qPrintable(iniPath));
        AppEnvironment environment;
        environment.programDirectory = home.path() + QLatin1Char('/');
        environment.configHome = configHome;
        LinuxPlatform real(environment);
        YesDialogs dialogs;
        Platform platform = real.Get();
        platform.dialogs = &dialogs;
        TForm1 form(platform);
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            QTextStream(stderr) << "the window was not exposed; measuring anyway\n";
        QCoreApplication::processEvents();
        if (form.ButtonsPerPage() != bench::ButtonsPerPage ||
            form.TabRow()->count() != bench::Pages) {
            faults << QStringLiteral("the bar did not start with 20 pages of 21 buttons");
            return;
        }
        Rewrites watch(directory, QStringLiteral("OV.INI"));
        if (!watch.Valid())
            qFatal("inotify is not available");
        for (const auto &[name, step] : steps) {
            watch.Take();
            const ino_t before = Inode(iniPath);
            const int rebuilds = form.RebuildCount();
            ms[name].push_back(Time([&] { step(form); }));
            const FileChanges changes = watch.Take();
            effects[name].Add(changes, Inode(iniPath) != before);
            if (form.RebuildCount() != rebuilds + 1)
                faults << name + QStringLiteral(": %1 rebuilds").arg(form.RebuildCount() - rebuilds);
        }
        const QString wrong = check(form);
        if (!wrong.isEmpty())
            faults << wrong;
        faults << dialogs.boxes;
        form.CloseWithoutQuestions();
        QCoreApplication::processEvents();
    };
    // The page menu opened on a tab by F6; its items run through the window's handler wrapper,
    // as a menu choice does.
    auto choose = [](TForm1 &form, const char *item, int tab) {
        form.TabRow()->setCurrentIndex(tab);
        form.KeysKeyDown(Qt::Key_F6);
        form.findChild<QAction *>(item)->trigger();
    };
    auto tabs = [](TForm1 &form, int first, int last) {
        return QStringLiteral("%1 pages, tab 1 \"%2\", tab %3 \"%4\"")
            .arg(form.TabRow()->count())
            .arg(form.TabRow()->tabText(first))
            .arg(last + 1)
            .arg(form.TabRow()->tabText(last));
    };

    for (int round = 0; round < rounds; ++round) {
        measure({{order[0], [&](TForm1 &form) { choose(form, "DeletePage1", 0); }}}, [&](TForm1 &form) {
            const QString state = tabs(form, 0, 18);
            return state == QStringLiteral("19 pages, tab 1 \"Group 2\", tab 19 \"Group 20\"")
                       ? QString() : order[0] + QStringLiteral(": ") + state;
        });
        measure({{order[1], [&](TForm1 &form) { choose(form, "AddPage1", 0); }}}, [&](TForm1 &form) {
            const QString state = tabs(form, 1, 20);
            return state == QStringLiteral("21 pages, tab 1 \"Group 1\", tab 21 \"Group 20\"")
                       ? QString() : order[1] + QStringLiteral(": ") + state;
        });
        // Taken out by the menu; put back by a click on the last tab in the page-move mode.
        measure(
            {{order[3], [&](TForm1 &form) { choose(form, "MovePage1", 0); }},
             {order[4],
              [&](TForm1 &form) {
                  form.TabRow()->setFirstIndex(18);
                  form.Guarded([&] { form.TabSet1MouseDown(form.TabRow()->tabRect(18).center()); });
              }}},
            [&](TForm1 &form) {
                const QString state = tabs(form, 0, 18);
                return state == QStringLiteral("20 pages, tab 1 \"Group 2\", tab 19 \"Group 1\"")
                           ? QString()
                           : order[2] + QStringLiteral(": ") + state;
            });
        const size_t last = ms[order[3]].size() - 1;
        ms[order[2]].push_back(ms[order[3]][last] + ms[order[4]][last]);
        const FileEffect &take = effects[order[3]], &put = effects[order[4]];
        effects[order[2]].Add({take.rewrites[last] + put.rewrites[last], take.inPlace[last] || put.inPlace[last]},
                              take.newInode[last] && put.newInode[last]);
    }
    if (!faults.isEmpty()) {
        QTextStream(stderr) << "a page operation did not do what it should:\n  " << faults.join(QStringLiteral("\n  ")) << "\n";
        return 1;
    }

    // The same file, read by a TNewIniFile that has not seen it yet: once only parsed, once
    // parsed and replaced by one write. Every round uses fresh copies, so no cached parse helps.
    const QString floorDirectory = home.filePath(QStringLiteral("floor"));
    QDir().mkpath(floorDirectory);
    for (int i = 0; i < std::max(rounds, 10); ++i) {
        const QString readCopy = floorDirectory + QStringLiteral("/OV.INI.read%1").arg(i);
        if (!WriteFile(readCopy, settings))
            return 1;
        const TNewIniFile reader(readCopy);
        ms[order[5]].push_back(Time([&] {
            reader.ReadString(QStringLiteral("Location"), QStringLiteral("Left"), QString());
        }));
        // Every write copy under the same name, in a fresh place each time, so the watch sees it.
        const QString writeDirectory = floorDirectory + QStringLiteral("/w%1").arg(i);
        QDir().mkpath(writeDirectory);
        const QString writeCopy = writeDirectory + QStringLiteral("/OV.INI");
        if (!WriteFile(writeCopy, settings))
            return 1;
        Rewrites writeWatch(writeDirectory, QStringLiteral("OV.INI"));
        const ino_t before = Inode(writeCopy);
        TNewIniFile writer(writeCopy);
        ms[order[6]].push_back(Time([&] {
            // Never the value the file holds (0): an unchanged value is not written at all.
            writer.WriteString(QStringLiteral("Location"), QStringLiteral("Left"), QString::number(i + 1));
        }));
        const FileChanges changes = writeWatch.Take();
        effects[order[6]].Add(changes, Inode(writeCopy) != before);
    }

    QTextStream out(stdout);
    const double floor = Median(ms[order[6]]);
    out << "Page operations with their rebuilds on a settings file of 20 pages x 21 buttons ("
        << settings.size() << " bytes), " << rounds << " rounds (load average " << LoadAverage() << ")\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
               .arg(QString(), -36)
               .arg(QStringLiteral("median ms"), 10)
               .arg(QStringLiteral("min ms"), 10)
               .arg(QStringLiteral("x floor"), 9)
               .arg(QStringLiteral("rewrites"), 9)
               .arg(QStringLiteral("in place"), 9)
               .arg(QStringLiteral("new inode"), 10);
    for (const QString &name : order) {
        const std::vector<double> &values = ms[name];
        QString rewrites = QStringLiteral("-"), inPlace = rewrites, inode = rewrites;
        if (effects.count(name)) {
            const FileEffect &effect = effects[name];
            const auto [low, high] = std::minmax_element(effect.rewrites.begin(), effect.rewrites.end());
            rewrites = *low == *high ? QString::number(*low) : QStringLiteral("%1-%2").arg(*low).arg(*high);
            auto rounds = [](const std::vector<bool> &flags) {
                return QStringLiteral("%1/%2").arg(std::count(flags.begin(), flags.end(), true)).arg(flags.size());
            };
            inPlace = rounds(effect.inPlace);
            inode = rounds(effect.newInode);
        }
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                   .arg(name, -36)
                   .arg(Median(values), 10, 'f', 2)
                   .arg(*std::min_element(values.begin(), values.end()), 10, 'f', 2)
                   .arg(Median(values) / floor, 9, 'f', 1)
                   .arg(rewrites, 9)
                   .arg(inPlace, 9)
                   .arg(inode, 10);
    }
    out << "(rewrites: replacements of the settings file, lowest-highest over the rounds; in place:\n"
           " rounds in which it was written in place; new inode: rounds after which it was another file)\n";
    out << "(budget: each operation, with its rebuild, at most 25 x the parse + atomic rewrite;\n"
           " each operation rewrites the file once)\n";
    return 0;
}
