#include "commandline/CommandLine.h"

#include <QDir>
#include <QFileInfo>
#include <glib.h>

namespace {
bool IsSafeWordCharacter(QChar c) {
    return c.isLetterOrNumber() || QStringLiteral("/._-+,:@%=~").contains(c);
}
} // namespace

QString LongPath(const QString &path) {
    if (path.isEmpty())
        return QString();
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    bool safe = !clean.startsWith(QLatin1Char('~'));
    for (QChar c : clean)
        safe = safe && IsSafeWordCharacter(c);
    if (safe)
        return clean;
    gchar *quoted = g_shell_quote(clean.toUtf8().constData());
    const QString result = QString::fromUtf8(quoted);
    g_free(quoted);
    return result;
}

QString UnquotePath(const QString &word) {
    const QString trimmed = word.trimmed();
    if (!trimmed.startsWith(QLatin1Char('\'')) && !trimmed.startsWith(QLatin1Char('"')))
        return trimmed;
    gchar *plain = g_shell_unquote(trimmed.toUtf8().constData(), nullptr);
    if (!plain)
        return trimmed;
    const QString result = QString::fromUtf8(plain);
    g_free(plain);
    return result;
}

QStringList SplitCommandLine(const QString &commandLine, QString *error) {
    const auto refuse = [error](const QString &why) {
        if (error)
            *error = why;
        return QStringList();
    };
    // A C string ends at a NUL: the program would get a cut command line.
    if (commandLine.contains(QChar(0)))
        return refuse(QStringLiteral(
            "the command line holds a NUL character, which cannot be passed to a program"));

    // Words are found as GLib's shell parser finds them, without its comments; each word is
    // then unquoted by GLib itself.
    const QByteArray line = commandLine.toUtf8();
    QList<QByteArray> words;
    QByteArray word;
    bool inWord = false;
    char quote = 0;       // '\'', '"', or '\\' right after an unquoted backslash
    bool escaped = false; // an odd run of backslashes ends just before this character
    const auto append = [&](char c) {
        word += c;
        inWord = true;
    };
    for (const char c : line) {
        if (quote == '\\') {
            if (c != '\n') { // a backslash and a line break join the lines
                append('\\');
                append(c);
            }
            quote = 0;
        } else if (quote) {
            if (c == quote && !(quote == '"' && escaped))
                quote = 0;
            append(c);
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) {
                words << word;
                word.clear();
                inWord = false;
            }
        } else if (c == '\'' || c == '"') {
            append(c);
            quote = c;
        } else if (c == '\\') {
            quote = c;
        } else {
            append(c);
        }
        escaped = c == '\\' && !escaped;
    }
    if (quote == '\\')
        return refuse(QStringLiteral("Text ended just after a \"\\\" character."));
    if (quote)
        return refuse(QStringLiteral("Text ended before matching quote was found for %1.")
                          .arg(QLatin1Char(quote)));
    if (inWord)
        words << word;
    if (words.isEmpty())
        return refuse(QStringLiteral("Text was empty (or contained only whitespace)"));

    QStringList result;
    for (const QByteArray &raw : words) {
        GError *failure = nullptr;
        gchar *plain = g_shell_unquote(raw.constData(), &failure);
        if (!plain) {
            const QString why = QString::fromUtf8(failure->message);
            g_error_free(failure);
            return refuse(why);
        }
        result << QString::fromUtf8(plain);
        g_free(plain);
    }
    return result;
}

QString ProgramFile(const QString &programs) {
    const QStringList words = SplitCommandLine(programs);
    return words.isEmpty() ? UnquotePath(programs) : words.first();
}

QString ProgramDirectory(const QString &programs) {
    const QString path = ProgramFile(programs);
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString ShortName(const QString &programs) {
    const QString path = ProgramFile(programs);
    // A backslash also ends a folder name: values written on Windows name their files so.
    const int slash = qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    QString name = path.mid(slash + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return name;
}
