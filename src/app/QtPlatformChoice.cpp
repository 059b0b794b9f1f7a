#include "app/QtPlatformChoice.h"

QByteArray ChooseQtPlatform(const QProcessEnvironment &environment, const QStringList &arguments) {
    // Qt treats an empty QT_QPA_PLATFORM as unset, and takes "--platform" as "-platform".
    if (!environment.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        return {};
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("-platform") || argument == QLatin1String("--platform"))
            return {};
    }
    const bool wayland =
        !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty() ||
        environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland");
    const bool x11 = !environment.value(QStringLiteral("DISPLAY")).isEmpty();
    return wayland && x11 ? QByteArrayLiteral("xcb") : QByteArray();
}
