#include "platform/linux/LinuxHelp.h"

#include "platform/linux/HelpWindow.h"

LinuxHelp::~LinuxHelp() {
    delete window_.data();
}

HelpWindow *LinuxHelp::Window() const {
    return window_;
}

HelpWindow *LinuxHelp::EnsureWindow() {
    if (!window_)
        window_ = new HelpWindow;
    return window_;
}

void LinuxHelp::ShowContents() {
    EnsureWindow()->ShowContents();
}

void LinuxHelp::ShowTopic(int topic) {
    EnsureWindow()->ShowTopic(topic);
}
