#include "app/Autostart.h"
#include "app/Icons.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace autostart {
namespace {
// The line that marks an entry as the bar's own.
const QByteArray kMarker = "X-Orvane-Autostart=true";

QString UnableToWrite(const QString &path) { return QStringLiteral("Unable to write to ") + path; }
} // namespace

QString EntryPath(const QString &configHome) {
    QString base = configHome;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("autostart/io.orvane.Orvane.desktop");
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

State Read(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return State::Absent;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return State::Foreign;
    while (!file.atEnd()) {
        if (file.readLine().trimmed() == kMarker)
            return State::Ours;
    }
    return State::Foreign;
}

Outcome Apply(const QString &path, bool enable, const QString &execValue,
              const std::function<bool()> &confirmRemoval) {
    const State state = Read(path);
    Outcome outcome;
    if (enable) {
        outcome.enabled = true;
        if (state == State::Foreign)
            return outcome; // the user's own entry stays as it is
        const QByteArray text = EntryText(execValue);
        QSaveFile file(path);
        const bool written = QDir().mkpath(QFileInfo(path).absolutePath()) &&
                             file.open(QIODevice::WriteOnly) && file.write(text) == text.size() &&
                             file.commit();
        if (!written) {
            outcome.enabled = state != State::Absent;
            outcome.error = UnableToWrite(path);
        }
        return outcome;
    }
    if (state == State::Absent)
        return outcome;
    if (state == State::Foreign && !(confirmRemoval && confirmRemoval())) {
        outcome.enabled = true;
        return outcome;
    }
    if (!QFile::remove(path)) {
        outcome.enabled = true;
        outcome.error = UnableToWrite(path);
    }
    return outcome;
}

} // namespace autostart

void TForm1::ShowAutostartState() {
    const QString path = autostart::EntryPath(platform_.environment.configHome);
    Item(QStringLiteral("StartWithDesktop1"))->setChecked(autostart::Read(path) != autostart::State::Absent);
}

void TForm1::StartWithDesktop1Click() {
    QAction *item = Item(QStringLiteral("StartWithDesktop1"));
    const QString path = autostart::EntryPath(platform_.environment.configHome);
    const autostart::Outcome outcome = autostart::Apply(
        path, item->isChecked(),
        autostart::ExecValue(QCoreApplication::applicationFilePath(), profile_), [this, &path] {
            return platform_.dialogs->Question(
                path + QStringLiteral("\n\nThis autostart entry was not written by Orvane. Remove it?"));
        });
    item->setChecked(outcome.enabled);
    if (!outcome.error.isEmpty())
        platform_.dialogs->Error(outcome.error);
}
