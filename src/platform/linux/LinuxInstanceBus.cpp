#include "platform/linux/LinuxInstanceBus.h"

LinuxInstanceBus::LinuxInstanceBus() : LinuxInstanceBus(QDBusConnection::sessionBus()) {}

LinuxInstanceBus::LinuxInstanceBus(const QDBusConnection &connection) : connection_(connection) {
    if (!connection_.isConnected())
        return;
    // An empty service matches the signal from any sender, this copy included. QtDBus only
    // offers string-based slots here.
    listening_ = connection_.connect(QString(), QLatin1String(Path), QLatin1String(Interface),
                                     QLatin1String(Member), this, SLOT(Receive(QDBusMessage)));
}

LinuxInstanceBus::~LinuxInstanceBus() {
    if (listening_)
        connection_.disconnect(QString(), QLatin1String(Path), QLatin1String(Interface),
                               QLatin1String(Member), this, SLOT(Receive(QDBusMessage)));
}

bool LinuxInstanceBus::Available() const {
    return listening_ && connection_.isConnected();
}

void LinuxInstanceBus::Post(const QString &name, quint32 first, qint32 second) {
    if (!Available())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(Path), QLatin1String(Interface),
                                                     QLatin1String(Member));
    signal << name << uint(first) << int(second);
    connection_.send(signal);
}

void LinuxInstanceBus::Receive(const QDBusMessage &message) {
    if (message.signature() != QLatin1String("sui") || !OnMessage)
        return;
    const QList<QVariant> args = message.arguments();
    OnMessage(args[0].toString(), quint32(args[1].toUInt()), qint32(args[2].toInt()));
}
