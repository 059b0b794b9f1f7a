// GIO before any Qt header: Qt defines "signals", which GIO's headers use as a name.
#include <gio/gio.h>

#include "platform/linux/ProgramIcons.h"

namespace {
QString TakeString(gchar *text) {
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}
} // namespace

QString IconValueOf(GIcon *icon) {
    if (!icon)
        return QString();
    if (G_IS_FILE_ICON(icon)) {
        GFile *file = g_file_icon_get_file(G_FILE_ICON(icon));
        return file ? TakeString(g_file_get_path(file)) : QString();
    }
    if (G_IS_THEMED_ICON(icon)) {
        const gchar *const *names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        return names && *names ? QString::fromUtf8(*names) : QString();
    }
    return QString();
}
