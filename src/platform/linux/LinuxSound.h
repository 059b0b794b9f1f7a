#pragma once

#include "platform/Sound.h"

struct ca_context;

// Wave files and the sound theme's "bell" through libcanberra, which picks the sound server or
// device (CANBERRA_DRIVER and CANBERRA_DEVICE choose another, such as ALSA's null device).
class LinuxSound : public ISound {
public:
    LinuxSound();
    ~LinuxSound() override;
    LinuxSound(const LinuxSound &) = delete;
    LinuxSound &operator=(const LinuxSound &) = delete;

    bool Play(const QString &file, bool asynchronous, bool useDefault) override;

private:
    ca_context *Context();
    // Plays the sound a property names (a file or a theme event); false when it cannot.
    bool PlayOne(const char *property, const QByteArray &value, bool asynchronous);

    ca_context *context_ = nullptr;
};
