#include "app/Autostart.h"
#include "app/Icons.h"

#include <QAction>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <glib.h>

namespace autostart {
namespace {
// The line that marks an entry as the bar's own.
const QByteArray kMarker = "X-Orvane-Autostart=true";

QString UnableToWrite(const QString &path) { return QStringLiteral("Unable to write to ") + path; }
} // namespace

QString EntryFileSuffix(const ProfileChoice &profile) {
    if (profile.name.isEmpty() && !profile.shared)
        return {}; // the name every version has used
    QString name;
    for (const char byte : profile.name.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            name += QLatin1Char(char(c));
        else
            name += QStringLiteral("_%1").arg(c, 2, 16, QLatin1Char('0')).toUpper();
    }
    // Room for the rest of the file name within the filesystem's 255 bytes; "~" is no part of an
    // escaped name, so a shortened one never meets a whole one.
    constexpr int kLongest = 160;
    if (name.size() > kLongest)
        name = name.left(kLongest - 33) + QLatin1Char('~') +
               QString::fromLatin1(
                   QCryptographicHash::hash(profile.name.toUtf8(), QCryptographicHash::Sha256)
                       .toHex()
                       .left(32));
    return (profile.shared ? QStringLiteral("-shared-") : QStringLiteral("-")) + name;
}

QString EntryPath(const QString &configHome, const ProfileChoice &profile) {
    QString base = configHome;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("autostart/io.orvane.Orvane") + EntryFileSuffix(profile) +
           QStringLiteral(".desktop");
}

QString QuoteExecArgument(const QString &argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);
    QString out;
    if (quote)
        out += QLatin1Char('"');
    for (const QChar c : argument) {
        if (quote && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                      c == QLatin1Char('\\')))
            out += QLatin1Char('\\');
        out += c;
        if (c == QLatin1Char('%'))
            out += QLatin1Char('%');
    }
    if (quote)
        out += QLatin1Char('"');
    return out;
}

QString ExecValue(const QString &program, const ProfileChoice &profile) {
    QStringList words{QuoteExecArgument(program)};
    if (profile.shared)
        words << QStringLiteral("/m");
    if (!profile.name.isEmpty())
        words << QuoteExecArgument(profile.name);
    QString line = words.join(QLatin1Char(' '));
    // The key file's escapes for a string value.
    QString value;
    for (const QChar c : line) {
        switch (c.unicode()) {
        case '\\': value += QStringLiteral("\\\\"); break;
        case '\n': value += QStringLiteral("\\n"); break;
        case '\t': value += QStringLiteral("\\t"); break;
        case '\r': value += QStringLiteral("\\r"); break;
        default: value += c;
        }
    }
    return value;
}

QByteArray EntryText(const QString &execValue) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Orvane\n"
           "Comment=Starts the launcher bar with the desktop session\n"
           "Exec=" + execValue.toUtf8() + "\n"
           "Icon=io.orvane.Orvane\n"
           "Terminal=false\n" +
           kMarker + "\n";
}

std::optional<ProfileChoice> EntryProfile(const QString &path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.readAll();
    bool marked = false;
    for (const QByteArray &line : text.split('\n'))
        marked = marked || line.trimmed() == kMarker;
    if (!marked)
        return std::nullopt;
    // The words of the Exec line as the desktop runs them: [program, "/m"?, profile?].
    g_autoptr(GKeyFile) keys = g_key_file_new();
    if (!g_key_file_load_from_data(keys, text.constData(), text.size(), G_KEY_FILE_NONE, nullptr))
        return std::nullopt;
    g_autofree gchar *exec = g_key_file_get_string(keys, "Desktop Entry", "Exec", nullptr);
    if (!exec)
        return std::nullopt;
    const QByteArray line = QByteArray(exec).replace("%%", "%");
    gchar **argv = nullptr;
    if (!g_shell_parse_argv(line.constData(), nullptr, &argv, nullptr))
        return std::nullopt;
    QStringList words;
    for (gchar **word = argv; *word; ++word)
        words << QString::fromUtf8(*word);
    g_strfreev(argv);
    ProfileChoice profile;
    profile.shared = words.size() > 1 && words[1] == QLatin1String("/m");
    profile.name = words.value(profile.shared ? 2 : 1);
    return profile;
}

State Read(const QString &path, const ProfileChoice &profile) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return State::Absent;
    const std::optional<ProfileChoice> owner = EntryProfile(path);
    if (!owner)
        return State::Foreign;
    return owner->name == profile.name && owner->shared == profile.shared ? State::Ours
                                                                          : State::OtherProfile;
}

namespace {
const ProfileChoice kDefaultProfile{};

// The older versions' file when it holds this profile's entry (and is not its own file anyway).
bool HasOlderEntry(const QString &configHome, const ProfileChoice &profile) {
    const QString older = EntryPath(configHome, kDefaultProfile);
    return older != EntryPath(configHome, profile) && Read(older, profile) == State::Ours;
}

// Moves another profile's entry out of path into that profile's own file; where that profile
// has one already, this older copy goes.
bool MoveToItsOwnFile(const QString &configHome, const QString &path) {
    const std::optional<ProfileChoice> owner = EntryProfile(path);
    if (!owner)
        return false;
    const QString target = EntryPath(configHome, *owner);
    if (Read(target, *owner) == State::Absent)
        return QFile::rename(path, target);
    return QFile::remove(path);
}

bool Write(const QString &path, const QByteArray &text) {
    QSaveFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
           file.write(text) == text.size() && file.commit();
}
} // namespace

bool IsEnabled(const QString &configHome, const ProfileChoice &profile) {
    const State state = Read(EntryPath(configHome, profile), profile);
    return state == State::Ours || state == State::Foreign || HasOlderEntry(configHome, profile);
}

Outcome Apply(const QString &configHome, const ProfileChoice &profile, bool enable,
              const QString &execValue, const std::function<bool()> &confirmRemoval) {
    const QString path = EntryPath(configHome, profile);
    const QString older = EntryPath(configHome, kDefaultProfile);
    State state = Read(path, profile);
    Outcome outcome;
    if (enable) {
        outcome.enabled = true;
        if (state == State::Foreign)
            return outcome; // the user's own entry stays as it is
        if (state == State::OtherProfile && !MoveToItsOwnFile(configHome, path)) {
            outcome.enabled = false;
            outcome.error = UnableToWrite(path);
            return outcome;
        }
        if (!Write(path, EntryText(execValue))) {
            outcome.enabled = state == State::Ours || HasOlderEntry(configHome, profile);
            outcome.error = UnableToWrite(path);
        } else if (HasOlderEntry(configHome, profile) && !QFile::remove(older)) {
            outcome.error = UnableToWrite(older); // two entries now start this profile
        }
        return outcome;
    }
    if (state == State::Foreign && !(confirmRemoval && confirmRemoval())) {
        outcome.enabled = true;
        return outcome;
    }
    QStringList removals;
    if (state == State::Ours || state == State::Foreign)
        removals << path;
    if (HasOlderEntry(configHome, profile))
        removals << older;
    for (const QString &entry : removals) {
        if (!QFile::remove(entry)) {
            outcome.enabled = true;
            outcome.error = UnableToWrite(entry);
            return outcome;
        }
    }
    return outcome;
}

} // namespace autostart

void TForm1::ShowAutostartState() {
    items_.setup.StartWithDesktop1->setChecked(
        autostart::IsEnabled(platform_.environment.configHome, profile_));
}

void TForm1::StartWithDesktop1Click() {
    QAction *item = items_.setup.StartWithDesktop1;
    const QString &configHome = platform_.environment.configHome;
    const QString path = autostart::EntryPath(configHome, profile_);
    const autostart::Outcome outcome = autostart::Apply(
        configHome, profile_, item->isChecked(),
        autostart::ExecValue(QCoreApplication::applicationFilePath(), profile_), [this, &path] {
            return platform_.dialogs->Question(
                path + QStringLiteral("\n\nThis autostart entry was not written by Orvane. Remove it?"));
        });
    item->setChecked(outcome.enabled);
    if (!outcome.error.isEmpty())
        platform_.dialogs->Error(outcome.error);
}
