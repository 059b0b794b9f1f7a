#pragma once

#include <QString>

// Ending the desktop session: shutting the computer down or restarting it.
class ISession {
public:
    virtual ~ISession() = default;
    // Empty on success, otherwise why the request was refused.
    virtual QString PowerOff() = 0;
    virtual QString Reboot() = 0;
};
