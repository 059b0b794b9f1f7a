// GIO before any Qt header: Qt defines "signals", which GIO's headers use as a name.
#include <gio/gdesktopappinfo.h>

#include "platform/linux/LinuxAppMenu.h"

#include "components/LnkDesktopEntry.h"
#include "launch/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

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

// The absolute paths of the programs named so far in one listing, by the word that names them
// (empty: not found). Many entries run the same program, and each search of PATH costs a
// look at every directory in it.
using ProgramPaths = QHash<QByteArray, QString>;

QString ProgramPathOf(const std::string &word, ProgramPaths &known) {
    const QByteArray key = QByteArray::fromStdString(word);
    if (const auto found = known.constFind(key); found != known.constEnd())
        return *found;
    QString path;
    if (gchar *program = g_find_program_in_path(word.c_str())) {
        path = LongPath(QFile::decodeName(program));
        g_free(program);
    }
    known.insert(key, path);
    return path;
}

// The command line that runs the entry with no files: its program as an absolute path, the
// fixed arguments of its Exec line without field codes. Empty when the program cannot be found.
QString CommandLineOf(GAppInfo *app, ProgramPaths &programs, QString *program = nullptr) {
    const char *exec = g_app_info_get_commandline(app);
    gint argc = 0;
    gchar **argv = nullptr;
    if (!exec || !g_shell_parse_argv(exec, &argc, &argv, nullptr))
        return QString();
    QString result;
    for (gint i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        const std::string kept = lnk::WithoutFieldCodes(word);
        if (i == 0) {
            result = ProgramPathOf(kept, programs);
            if (program)
                *program = result;
            if (result.isEmpty())
                break;
        } else if (!kept.empty() || word.empty()) { // a word that was only field codes goes
            result += QLatin1Char(' ') + QString::fromStdString(lnk::CommandWord(kept));
        }
    }
    g_strfreev(argv);
    return result;
}

QString GroupOfCategories(const char *categories) {
    const QStringList list = QString::fromUtf8(categories ? categories : "").split(QLatin1Char(';'));
    for (const QString &category : list) {
        const QString group = AppMenuGroupOf(category.trimmed());
        if (!group.isEmpty())
            return group;
    }
    return QStringLiteral("Other");
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
// hung file system must not hold the bar. A listing given up on finishes by itself.
struct Listing {
    std::vector<AppMenuEntry> entries;
    ProgramIcons programIcons;
};

std::optional<Listing> ListWithin(int timeLimitMs) {
    auto promise = std::make_shared<std::promise<Listing>>();
    std::future<Listing> result = promise->get_future();
    std::thread([promise] {
        Listing listing;
        listing.entries = ListAppMenuEntries(&listing.programIcons);
        promise->set_value(std::move(listing));
    }).detach();
    if (result.wait_for(std::chrono::milliseconds(timeLimitMs)) != std::future_status::ready)
        return std::nullopt;
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

std::vector<AppMenuEntry> ListAppMenuEntries(ProgramIcons *programIcons) {
    std::vector<AppMenuEntry> entries;
    ProgramPaths programs;
    QHash<QString, QString> canonical; // the programs' paths, resolved once each
    std::optional<QString> terminal; // looked for at the first entry that wants one
    GList *all = g_app_info_get_all();
    for (GList *node = all; node; node = node->next) {
        GAppInfo *app = G_APP_INFO(node->data);
        const bool shown = g_app_info_should_show(app);
        QString program;
        AppMenuEntry entry;
        if (shown || programIcons)
            entry.commandLine = CommandLineOf(app, programs, &program);
        if (programIcons && !program.isEmpty()) {
            auto resolved = canonical.constFind(program);
            if (resolved == canonical.constEnd())
                resolved = canonical.insert(program, QFileInfo(program).canonicalFilePath());
            programIcons->Add(*resolved, IconValueOf(g_app_info_get_icon(app)), shown);
        }
        if (!G_IS_DESKTOP_APP_INFO(app) || !shown)
            continue;
        auto *desktop = G_DESKTOP_APP_INFO(app);
        const char *file = g_desktop_app_info_get_filename(desktop);
        // A line break inside a word cannot be stored in the settings file as it is.
        if (!file || entry.commandLine.isEmpty() || HasLineBreak(entry.commandLine))
            continue;
        if (g_desktop_app_info_get_boolean(desktop, "Terminal")) {
            if (!terminal)
                terminal = TerminalCommand();
            if (!terminal->isEmpty())
                entry.commandLine = *terminal + QLatin1Char(' ') + entry.commandLine;
        }
        entry.group = GroupOfCategories(g_desktop_app_info_get_categories(desktop));
        // A name that is not valid text reads as nothing: the entry's file name stands in.
        entry.name = OneLine(TakeString(g_desktop_app_info_get_locale_string(desktop, "Name")));
        if (entry.name.trimmed().isEmpty())
            entry.name = QFileInfo(QFile::decodeName(file)).completeBaseName();
        entry.directory = OneLine(TakeString(g_desktop_app_info_get_string(desktop, "Path")));
        entry.desktopFile = LongPath(QFile::decodeName(file));
        if (HasLineBreak(entry.desktopFile))
            continue;
        entries.push_back(std::move(entry));
    }
    g_list_free_full(all, g_object_unref);
    std::stable_sort(entries.begin(), entries.end(), Before);
    return entries;
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
        std::optional<Listing> listing = ListWithin(timeLimitMs_);
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
