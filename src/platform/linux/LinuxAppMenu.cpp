// GIO before any Qt header: Qt defines "signals", which GIO's headers use as a name.
#include <gio/gdesktopappinfo.h>

#include "platform/linux/LinuxAppMenu.h"

#include "commandline/CommandLine.h"
#include "components/LnkDesktopEntry.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <set>
#include <thread>

#include <dirent.h>
#include <sys/stat.h>

namespace {
QString TakeString(gchar *text) {
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

// Line breaks would end the reply's line: names and directories get blanks instead.
QString OneLine(QString text) {
    for (QChar &c : text)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            c = QLatin1Char(' ');
    return text;
}

bool HasLineBreak(const QString &text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

QString TakeLocaleString(GDesktopAppInfo *desktop, const char *key) {
    return TakeString(g_desktop_app_info_get_locale_string(desktop, key));
}

// The words of an application's Exec line as written, field codes and all.
std::vector<std::string> ExecWords(GAppInfo *app) {
    const char *exec = app ? g_app_info_get_commandline(app) : nullptr;
    gint argc = 0;
    gchar **argv = nullptr;
    if (!exec || !g_shell_parse_argv(exec, &argc, &argv, nullptr))
        return {};
    std::vector<std::string> words(argv, argv + argc);
    g_strfreev(argv);
    return words;
}

// The names of a folder's entries, sorted so that a listing does not depend on the order the
// file system gives them in.
std::vector<QByteArray> FolderNames(const QByteArray &folder) {
    std::vector<QByteArray> names;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One walk over the applications folders (ForEachDesktopEntry): the folders read so far, by
// device and inode, and the desktop IDs taken.
struct Walk {
    const std::function<void(const QByteArray &, const QByteArray &, GDesktopAppInfo *)> &visit;
    const std::atomic<bool> *cancelled;
    std::set<std::pair<dev_t, ino_t>> foldersRead;
    QSet<QByteArray> ids;

    bool Cancelled() const { return cancelled && cancelled->load(std::memory_order_relaxed); }

    void Folder(const QByteArray &folder, const QByteArray &idPrefix) {
        struct stat st;
        if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            !foldersRead.insert({st.st_dev, st.st_ino}).second)
            return;
        for (const QByteArray &name : FolderNames(folder)) {
            if (Cancelled())
                return;
            const QByteArray path = folder + '/' + name;
            if (::stat(path.constData(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                Folder(path, idPrefix + name + '-');
                continue;
            }
            if (!S_ISREG(st.st_mode) || !name.endsWith(".desktop"))
                continue;
            const QByteArray id = idPrefix + name;
            if (ids.contains(id))
                continue;
            ids.insert(id); // masks the same ID in later folders, whatever this file holds
            GDesktopAppInfo *info = LoadDesktopEntry(path);
            if (!info)
                continue;
            if (!g_desktop_app_info_get_is_hidden(info))
                visit(id, path, info);
            g_object_unref(info);
        }
    }
};
} // namespace

QString ProgramLookup::PathOf(const QString &word) {
    if (word.isEmpty())
        return QString();
    if (const auto found = paths_.constFind(word); found != paths_.constEnd())
        return *found;
    QString path;
    if (gchar *found = g_find_program_in_path(QFile::encodeName(word).constData())) {
        path = QFile::decodeName(found);
        g_free(found);
    }
    paths_.insert(word, path);
    return path;
}

QString ProgramLookup::Terminal() {
    if (!terminal_)
        terminal_ = TerminalCommand();
    return *terminal_;
}

GDesktopAppInfo *LoadDesktopEntry(const QByteArray &path) {
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    GKeyFile *keys = g_key_file_new();
    GDesktopAppInfo *info = nullptr;
    if (g_key_file_load_from_file(keys, path.constData(), G_KEY_FILE_NONE, nullptr))
        info = g_desktop_app_info_new_from_keyfile(keys);
    g_key_file_unref(keys); // the entry keeps its own reference
    return info;
}

EntryCommand CommandOfEntry(GAppInfo *app, ProgramLookup &lookup, const QByteArray &location) {
    EntryCommand result;
    lnk::ExecFields fields;
    GDesktopAppInfo *desktop =
        app && G_IS_DESKTOP_APP_INFO(app) ? G_DESKTOP_APP_INFO(app) : nullptr;
    if (desktop) {
        fields.icon = TakeLocaleString(desktop, "Icon").toStdString();
        fields.name = TakeLocaleString(desktop, "Name").toStdString();
        const char *known = g_desktop_app_info_get_filename(desktop);
        fields.location = !location.isEmpty() ? location.toStdString() : known ? known : "";
    }
    const std::vector<std::string> words = lnk::ExpandFieldCodes(ExecWords(app), fields);
    if (words.empty())
        return result;
    result.program = lookup.PathOf(QString::fromStdString(words.front()));
    if (result.program.isEmpty())
        return result;
    QString line = LongPath(result.program);
    for (std::size_t i = 1; i < words.size(); ++i)
        line += QLatin1Char(' ') + QString::fromStdString(lnk::CommandWord(words[i]));
    // Without a terminal the program would run unseen, with nothing to read or type into.
    if (desktop && g_desktop_app_info_get_boolean(desktop, "Terminal")) {
        const QString terminal = lookup.Terminal();
        if (terminal.isEmpty()) {
            result.noTerminal = true;
            return result;
        }
        line = terminal + QLatin1Char(' ') + line;
    }
    result.commandLine = line;
    return result;
}

QString NoTerminalMessage(const QString &entryName) {
    return QStringLiteral("\"%1\" runs in a terminal, and no terminal program is installed "
                          "(x-terminal-emulator or xterm).")
        .arg(entryName);
}

void ForEachDesktopEntry(
    const std::function<void(const QByteArray &, const QByteArray &, GDesktopAppInfo *)> &visit,
    const std::atomic<bool> *cancelled) {
    Walk walk{visit, cancelled, {}, {}};
    walk.Folder(QByteArray(g_get_user_data_dir()) + "/applications", QByteArray());
    for (const gchar *const *dir = g_get_system_data_dirs(); dir && *dir; ++dir)
        walk.Folder(QByteArray(*dir) + "/applications", QByteArray());
}

namespace {
QString GroupOfCategories(const char *categories) {
    const QStringList list = QString::fromUtf8(categories ? categories : "").split(QLatin1Char(';'));
    for (const QString &category : list) {
        const QString group = AppMenuGroupOf(category.trimmed());
        if (!group.isEmpty())
            return group;
    }
    return AppMenuCatchAllGroup;
}

QString ItemLine(const AppMenuEntry &e) {
    auto quoted = [](const QString &text) {
        return QLatin1Char('"') + AppMenuEncodeField(text) + QLatin1Char('"');
    };
    return quoted(e.name) + QLatin1Char(',') + quoted(e.commandLine) + QLatin1Char(',') +
           AppMenuEncodeField(e.directory) + QLatin1Char(',') + AppMenuEncodeField(e.desktopFile) +
           QStringLiteral(",0,0,0");
}

bool Before(const AppMenuEntry &a, const AppMenuEntry &b) {
    if (const int byGroup = QString::compare(a.group, b.group, Qt::CaseInsensitive))
        return byGroup < 0;
    return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
}

// The listing in a thread of its own, given up after the time limit: a desktop entry on a
// hung file system must not hold the bar. A listing given up on is cancelled, so that it ends
// at its next entry rather than going on growing.
std::optional<AppMenuListing> ListWithin(int timeLimitMs, const AppMenuLister &lister) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    auto promise = std::make_shared<std::promise<AppMenuListing>>();
    std::future<AppMenuListing> result = promise->get_future();
    std::thread([promise, cancelled, lister] { promise->set_value(lister(*cancelled)); }).detach();
    if (result.wait_for(std::chrono::milliseconds(timeLimitMs)) != std::future_status::ready) {
        cancelled->store(true);
        return std::nullopt;
    }
    return result.get();
}
} // namespace

// The system's chosen terminal emulator, else xterm. Both take the program and its arguments
// after "-e".
QString TerminalCommand() {
    for (const char *name : {"x-terminal-emulator", "xterm"})
        if (gchar *path = g_find_program_in_path(name))
            return LongPath(TakeString(path)) + QStringLiteral(" -e");
    return QString();
}

QString AppMenuGroupOf(const QString &category) {
    static const QHash<QString, QString> groups{
        {QStringLiteral("AudioVideo"), QStringLiteral("Sound & Video")},
        {QStringLiteral("Audio"), QStringLiteral("Sound & Video")},
        {QStringLiteral("Video"), QStringLiteral("Sound & Video")},
        {QStringLiteral("Development"), QStringLiteral("Development")},
        {QStringLiteral("Education"), QStringLiteral("Education")},
        {QStringLiteral("Game"), QStringLiteral("Games")},
        {QStringLiteral("Graphics"), QStringLiteral("Graphics")},
        {QStringLiteral("Network"), QStringLiteral("Internet")},
        {QStringLiteral("Office"), QStringLiteral("Office")},
        {QStringLiteral("Science"), QStringLiteral("Science")},
        {QStringLiteral("Settings"), QStringLiteral("Settings")},
        {QStringLiteral("System"), QStringLiteral("System")},
        {QStringLiteral("Utility"), QStringLiteral("Accessories")},
    };
    return groups.value(category);
}

std::vector<AppMenuEntry> ListAppMenuEntries(ProgramIcons *programIcons,
                                             const std::atomic<bool> *cancelled) {
    std::vector<AppMenuEntry> entries;
    ProgramLookup lookup;
    QHash<QString, QString> canonical; // the programs' paths, resolved once each
    ForEachDesktopEntry(
        [&](const QByteArray &id, const QByteArray &file, GDesktopAppInfo *desktop) {
            GAppInfo *app = G_APP_INFO(desktop);
            const bool shown = g_app_info_should_show(app) && id != OwnDesktopId;
            if (!shown && !programIcons)
                return;
            const EntryCommand command = CommandOfEntry(app, lookup, file);
            if (programIcons && !command.program.isEmpty()) {
                auto resolved = canonical.constFind(command.program);
                if (resolved == canonical.constEnd())
                    resolved = canonical.insert(command.program,
                                                QFileInfo(command.program).canonicalFilePath());
                programIcons->Add(*resolved, IconValueOf(g_app_info_get_icon(app)), shown);
            }
            // A line break inside a word cannot be stored in the settings file as it is.
            if (!shown || command.commandLine.isEmpty() || HasLineBreak(command.commandLine))
                return;
            AppMenuEntry entry;
            entry.commandLine = command.commandLine;
            entry.group = GroupOfCategories(g_desktop_app_info_get_categories(desktop));
            // A name that is not valid text reads as nothing: the entry's file name stands in.
            entry.name = OneLine(TakeLocaleString(desktop, "Name"));
            if (entry.name.trimmed().isEmpty())
                entry.name = QFileInfo(QFile::decodeName(file)).completeBaseName();
            entry.directory = OneLine(TakeString(g_desktop_app_info_get_string(desktop, "Path")));
            entry.desktopFile = LongPath(QFile::decodeName(file));
            if (HasLineBreak(entry.desktopFile))
                return;
            entries.push_back(std::move(entry));
        },
        cancelled);
    std::stable_sort(entries.begin(), entries.end(), Before);
    return entries;
}

AppMenuListing ListAppMenu(const std::atomic<bool> &cancelled) {
    AppMenuListing listing;
    listing.entries = ListAppMenuEntries(&listing.programIcons, &cancelled);
    return listing;
}

QString AppMenuGroupsReply(const std::vector<AppMenuEntry> &entries) {
    QStringList groups;
    for (const AppMenuEntry &e : entries)
        if (!groups.contains(e.group))
            groups << e.group;
    return groups.isEmpty() ? QString() : groups.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

std::optional<QString> AppMenuGroupReply(const std::vector<AppMenuEntry> &entries,
                                         const QString &group) {
    QStringList lines;
    for (const AppMenuEntry &e : entries)
        if (e.group == group)
            lines << ItemLine(e);
    if (lines.isEmpty())
        return std::nullopt;
    lines.prepend(QLatin1Char('"') + AppMenuEncodeField(group) + QStringLiteral("\",,") +
                  QString::number(lines.size()));
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

std::optional<QString> LinuxAppMenu::Request(const QString &item) {
    if (item == QLatin1String("GROUPS") || !listing_) {
        std::optional<AppMenuListing> listing = ListWithin(timeLimitMs_, lister_);
        listing_.reset();
        if (listing) {
            listing_ = std::move(listing->entries);
            if (OnProgramIcons)
                OnProgramIcons(std::move(listing->programIcons));
        }
    }
    if (!listing_)
        return std::nullopt;
    if (item == QLatin1String("GROUPS")) {
        // No entry at all: there is no menu to import.
        if (listing_->empty())
            return std::nullopt;
        return AppMenuGroupsReply(*listing_);
    }
    return AppMenuGroupReply(*listing_, item);
}
