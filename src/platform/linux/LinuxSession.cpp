#include "platform/linux/LinuxSession.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

QString LinuxSession::PowerOff() {
    return Call("PowerOff");
}

QString LinuxSession::Reboot() {
    return Call("Reboot");
}

QString LinuxSession::Call(const char *method) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        const QString why = bus.lastError().message();
        return why.isEmpty() ? QStringLiteral("The system bus is not available.") : why;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QLatin1String(method));
    call << true; // interactive: let the desktop ask for authorisation
    // Authorisation may wait for the user, so allow far more than the default 25 seconds.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5 * 60 * 1000);
    if (reply.type() != QDBusMessage::ErrorMessage)
        return QString();
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}
