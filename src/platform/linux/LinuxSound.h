#pragma once

#include "platform/Sound.h"

// Placeholder until the sound work brings playback through libcanberra: nothing plays.
class LinuxSound : public ISound {
public:
    bool Play(const QString &file, bool asynchronous, bool useDefault) override { return false; }
};
