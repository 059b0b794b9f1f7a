#pragma once

#include "platform/Session.h"

// Shutting down and restarting through logind on the system bus. The calls are interactive, so
// the desktop may ask for a password or confirmation before it acts.
class LinuxSession : public ISession {
public:
    QString PowerOff() override;
    QString Reboot() override;

private:
    static QString Call(const char *method);
};
