#pragma once

#include "platform/Processes.h"

// Placeholder until the launching work brings the real process starter: every start fails
// with a message, so the bar runs but launches nothing.
class LinuxProcesses : public IProcesses {
public:
    ProcessStart Start(const QString &commandLine) override;
    bool IsRunning(qint64 handle) override;
    QString CurrentDirectory() override;
    bool SetCurrentDirectory(const QString &directory) override;
};
