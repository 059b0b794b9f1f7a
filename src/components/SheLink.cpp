#include "components/SheLink.h"

#include "components/LnkDesktopEntry.h"
#include "components/LnkParser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QtDebug>
#include <glib.h>

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char *const TShellLink::ErrorCaption = "!! Error !!";

namespace {

// The values of one shortcut in the order they are stored, with the first that cannot be
// read.
struct Values {
    enum Step { WorkingDir, Target, Icon, Description, ShowCmd, HotKey, Arguments, Done };

    QString workingDir;
    QString target;
    QString iconLocation;
    quint16 iconNumber = 0;
    QString description;
    quint16 showCmd = 1;
    quint16 hotKey = 0;
    QString arguments;
    Step unreadable = Done;

    void Unreadable(Step step) {
        if (step < unreadable)
            unreadable = step;
    }
};

const char *const StepMessages[] = {"Error in get WD", "Error in get GP", "Error in get IL",
                                    "Error in get DE", "Error in get SC", "Error in get HK",
                                    "Error in get AR"};

// The file's bytes; nothing when it cannot be opened as a regular file of at most maxBytes.
// Opened without blocking and checked before reading, so a FIFO or a device never stalls.
std::optional<QByteArray> ReadFile(const QString &fileName, qint64 maxBytes) {
    if (fileName.isEmpty())
        return std::nullopt;
    const int fd = ::open(QFile::encodeName(fileName).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxBytes) {
        QByteArray bytes;
        char buffer[65536];
        bool failed = false;
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 || bytes.size() + got > maxBytes) {
                failed = true;
                break;
            }
            if (got == 0)
                break;
            bytes.append(buffer, got);
        }
        if (!failed)
            result = bytes;
    }
    ::close(fd);
    return result;
}

QString WinePrefix() {
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    return prefix.isEmpty() ? QDir::homePath() + QStringLiteral("/.wine") : prefix;
}

// A leading environment string that Wine sets alike in every prefix, replaced by its value.
// Icon locations are often written with one ("%SystemRoot%\system32\shell32.dll").
QString ExpandWineEnvironment(const QString &path) {
    static const QRegularExpression leading(QStringLiteral("^%([A-Za-z]+)%"));
    static const QHash<QString, QString> values{
        {QStringLiteral("systemdrive"), QStringLiteral("C:")},
        {QStringLiteral("systemroot"), QStringLiteral("C:\\windows")},
        {QStringLiteral("windir"), QStringLiteral("C:\\windows")},
        {QStringLiteral("programfiles"), QStringLiteral("C:\\Program Files")},
        {QStringLiteral("commonprogramfiles"), QStringLiteral("C:\\Program Files\\Common Files")},
        {QStringLiteral("programdata"), QStringLiteral("C:\\ProgramData")},
        {QStringLiteral("allusersprofile"), QStringLiteral("C:\\ProgramData")},
    };
    const QRegularExpressionMatch match = leading.match(path);
    if (!match.hasMatch())
        return path;
    const auto value = values.constFind(match.captured(1).toLower());
    if (value == values.constEnd())
        return path;
    return *value + path.mid(match.capturedLength());
}

// The local file an icon location names, found like the target; as stored when the Wine
// prefix has no link for it.
QString IconLocalPath(const QString &stored) {
    const QString expanded = ExpandWineEnvironment(stored);
    const QString local = TShellLink::WineLocalPath(expanded);
    return local == expanded ? stored : local;
}

QString FromText(const lnk::Text &text, Values &values, Values::Step step) {
    if (!text.readable)
        values.Unreadable(step);
    return QString::fromStdU16String(text.value);
}

QString FromText(const lnk::EntryText &text, Values &values, Values::Step step) {
    if (!text.readable)
        values.Unreadable(step);
    return QString::fromUtf8(text.value);
}

std::optional<Values> FromShellLink(const QByteArray &bytes) {
    const lnk::ShellLink link = lnk::ParseShellLink(
        reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
    if (!link.resolved)
        return std::nullopt;
    Values values;
    values.workingDir = FromText(link.workingDir, values, Values::WorkingDir);
    if (link.target.empty())
        values.Unreadable(Values::Target);
    else
        values.target = TShellLink::WineLocalPath(QString::fromStdU16String(link.target));
    values.iconLocation = IconLocalPath(FromText(link.iconLocation, values, Values::Icon));
    values.iconNumber = quint16(link.iconIndex);
    values.description = FromText(link.description, values, Values::Description);
    values.showCmd = link.showCommand;
    values.hotKey = link.hotKey;
    values.arguments = FromText(link.arguments, values, Values::Arguments);
    return values;
}

std::optional<Values> FromDesktopEntry(const QByteArray &bytes, const QString &fileName) {
    const lnk::DesktopEntry entry = lnk::ParseDesktopEntry(
        bytes.constData(), std::size_t(bytes.size()),
        QFile::encodeName(QFileInfo(fileName).absoluteFilePath()).toStdString());
    if (!entry.recognised)
        return std::nullopt;
    Values values;
    values.workingDir = FromText(entry.workingDir, values, Values::WorkingDir);
    values.target = FromText(entry.program, values, Values::Target);
    if (entry.program.readable && !values.target.startsWith(QLatin1Char('/'))) {
        gchar *found = g_find_program_in_path(entry.program.value.c_str());
        if (found) {
            values.target = QFile::decodeName(found);
            g_free(found);
        }
    }
    values.iconLocation = FromText(entry.icon, values, Values::Icon);
    values.description = FromText(entry.description, values, Values::Description);
    values.arguments = FromText(entry.arguments, values, Values::Arguments);
    return values;
}

// The entry of directory named name, matched without regard to case when there is no exact
// one; empty when there is none.
QString EntryNamed(const QString &directory, const QString &name) {
    if (name == QLatin1String("..") || QFileInfo::exists(directory + QLatin1Char('/') + name))
        return name;
    const QStringList entries = QDir(directory).entryList(QDir::AllEntries | QDir::Hidden |
                                                          QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return QString();
}

} // namespace

TShellLink::TShellLink(QObject *owner) : QObject(owner) {}

void TShellLink::setPath(const QString &value) {
    Read(value);
}

void TShellLink::setUpdate(bool) {
    Read(path_);
    update_ = true;
}

void TShellLink::Message(const QString &text) {
    if (OnMessage)
        OnMessage(text);
    else
        qWarning("%s %s", ErrorCaption, qUtf8Printable(text));
}

bool TShellLink::Read(const QString &fileName) {
    ok_ = false;
    const std::optional<QByteArray> bytes = ReadFile(fileName, MaxFileBytes);
    if (!bytes)
        return false;
    const bool isLink = lnk::LooksLikeShellLink(
        reinterpret_cast<const std::uint8_t *>(bytes->constData()), std::size_t(bytes->size()));
    const std::optional<Values> values =
        isLink ? FromShellLink(*bytes) : FromDesktopEntry(*bytes, fileName);
    if (!values)
        return false;

    // Stored one by one, so a value that cannot be read leaves the ones before it stored.
    const auto stop = [&](Values::Step step) {
        if (values->unreadable != step)
            return false;
        Message(QString::fromLatin1(StepMessages[step]));
        return true;
    };
    if (stop(Values::WorkingDir))
        return false;
    workingDir_ = values->workingDir;
    if (stop(Values::Target))
        return false;
    target_ = values->target;
    if (stop(Values::Icon))
        return false;
    iconLocation_ = values->iconLocation;
    iconNumber_ = values->iconNumber;
    if (stop(Values::Description))
        return false;
    description_ = values->description;
    if (stop(Values::ShowCmd))
        return false;
    showCmd_ = values->showCmd;
    if (stop(Values::HotKey))
        return false;
    hotKey_ = values->hotKey;
    if (stop(Values::Arguments))
        return false;
    arguments_ = values->arguments;
    path_ = fileName;
    ok_ = true;
    return true;
}

QString TShellLink::WineLocalPath(const QString &windowsPath) {
    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    const QString &path = windowsPath;
    const QString devices = WinePrefix() + QStringLiteral("/dosdevices");
    QString root;
    QStringList rest;
    const bool drive =
        path.size() >= 2 && path[1] == QLatin1Char(':') && path[0].unicode() < 128 &&
        path[0].isLetter() &&
        (path.size() == 2 || path[2] == QLatin1Char('\\') || path[2] == QLatin1Char('/'));
    if (drive) {
        root = devices + QLatin1Char('/') + path[0].toLower() + QLatin1Char(':');
        rest = path.mid(2).split(separators, Qt::SkipEmptyParts);
    } else if (path.startsWith(QLatin1String("\\\\")) || path.startsWith(QLatin1String("//"))) {
        // Wine keeps shares as dosdevices/unc/server/share.
        rest = path.mid(2).split(separators, Qt::SkipEmptyParts);
        const auto dots = [](const QString &name) {
            return name == QLatin1String(".") || name == QLatin1String("..");
        };
        // Neither server nor share may lead out of unc/.
        if (rest.size() < 2 || dots(rest[0]) || dots(rest[1]))
            return windowsPath;
        const QString unc = devices + QStringLiteral("/unc");
        const QString server = EntryNamed(unc, rest.takeFirst());
        const QString share = server.isEmpty()
                                  ? QString()
                                  : EntryNamed(unc + QLatin1Char('/') + server, rest.takeFirst());
        if (share.isEmpty())
            return windowsPath;
        root = unc + QLatin1Char('/') + server + QLatin1Char('/') + share;
    } else {
        return windowsPath;
    }

    const QFileInfo link(root);
    if (!link.isDir())
        return windowsPath;
    QString local = link.canonicalFilePath();
    bool matching = true;
    for (QString name : std::as_const(rest)) {
        if (name == QLatin1String("."))
            continue;
        if (matching) {
            const QString found = EntryNamed(local, name);
            matching = !found.isEmpty();
            if (matching)
                name = found;
        }
        local += QLatin1Char('/') + name;
    }
    return QDir::cleanPath(local);
}
