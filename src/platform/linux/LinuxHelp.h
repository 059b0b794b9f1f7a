#pragma once

#include "platform/Help.h"

#include <QPointer>

class HelpWindow;

// The help window, made when help is first asked for and kept until the program ends.
class LinuxHelp : public IHelp {
public:
    LinuxHelp() = default;
    ~LinuxHelp() override;
    LinuxHelp(const LinuxHelp &) = delete;
    LinuxHelp &operator=(const LinuxHelp &) = delete;

    void ShowContents() override;
    void ShowTopic(int topic) override;

    // The window, or nullptr before help was first shown.
    HelpWindow *Window() const;

private:
    HelpWindow *EnsureWindow();

    QPointer<HelpWindow> window_;
};
