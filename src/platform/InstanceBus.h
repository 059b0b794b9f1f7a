#pragma once

#include <QString>
#include <functional>

// Messages between running copies of the bar. Every copy receives a posted message,
// the sender included.
class IInstanceBus {
public:
    virtual ~IInstanceBus() = default;
    virtual bool Available() const = 0;
    virtual void Post(const QString &name, quint32 first, qint32 second) = 0;
    // Called for every message that arrives, on the GUI thread.
    std::function<void(const QString &name, quint32 first, qint32 second)> OnMessage;
};
