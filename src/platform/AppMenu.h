#pragma once

#include <QString>
#include <optional>

// The desktop's application menu, asked the way the import asks: "GROUPS", then each group.
class IAppMenu {
public:
    virtual ~IAppMenu() = default;
    virtual bool Connect() = 0;
    virtual void Disconnect() = 0;
    // The text reply to a request; nothing when the request timed out or failed.
    virtual std::optional<QString> Request(const QString &item) = 0;
};
