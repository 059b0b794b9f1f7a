#include "launch/Paths.h"

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

QString ProgramDirectory(const QString &program) {
    const QString path = UnquotePath(program);
    const int slash = qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString ShortName(const QString &program) {
    QString path = UnquotePath(program);
    const int slash = qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    QString name = path.mid(slash + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return name;
}
