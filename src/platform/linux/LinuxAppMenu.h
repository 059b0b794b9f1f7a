#pragma once

#include "platform/AppMenu.h"

// Placeholder until the import work brings the provider over the desktop's application entries:
// the application menu cannot be reached, so a new installation starts with empty pages.
class LinuxAppMenu : public IAppMenu {
public:
    bool Connect() override { return false; }
    void Disconnect() override {}
    std::optional<QString> Request(const QString &item) override { return std::nullopt; }
};
