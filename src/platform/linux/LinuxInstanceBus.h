#pragma once

#include "platform/InstanceBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

// Messages between copies as a D-Bus signal on the session bus: path /Orvane, interface
// io.orvane.Shared, member Message, arguments (s name, u first, i second). The signal is
// broadcast, so every copy receives it, the sender included; other programs may post it too.
class LinuxInstanceBus : public QObject, public IInstanceBus {
    Q_OBJECT
public:
    static constexpr const char *Path = "/Orvane";
    static constexpr const char *Interface = "io.orvane.Shared";
    static constexpr const char *Member = "Message";

    // The session bus; without one the bus is unavailable and posting does nothing.
    LinuxInstanceBus();
    explicit LinuxInstanceBus(const QDBusConnection &connection);
    ~LinuxInstanceBus() override;

    bool Available() const override;
    void Post(const QString &name, quint32 first, qint32 second) override;

private Q_SLOTS:
    // Other programs may send a signal of this name with other arguments: only (s, u, i) counts.
    void Receive(const QDBusMessage &message);

private:
    QDBusConnection connection_;
    bool listening_ = false;
};
