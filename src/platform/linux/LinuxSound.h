#pragma once

#include "platform/Sound.h"

// Wave files and the sound theme's "bell" through libcanberra, which picks the sound server or
// device (CANBERRA_DRIVER and CANBERRA_DEVICE choose another, such as ALSA's null device).
// All players share one libcanberra context for the life of the process (see LinuxSound.cpp).
class LinuxSound : public ISound {
public:
    bool Play(const QString &file, bool asynchronous, bool useDefault) override;

private:
    // Plays the sound a property names (a file or a theme event); false when it cannot.
    bool PlayOne(const char *property, const QByteArray &value, bool asynchronous);
};
