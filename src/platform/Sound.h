#pragma once

#include <QString>

// The sound dialog's filter: the formats the player reads (wave, and Ogg as the sound themes
// ship it).
inline QString SoundFilesFilter() {
    return QStringLiteral("Sound Files|*.wav;*.oga;*.ogg");
}

class ISound {
public:
    virtual ~ISound() = default;
    // Plays a sound file (wave or Ogg). asynchronous: return at once; otherwise wait for the end.
    // useDefault: play the theme's default sound when the file cannot be played.
    // False when nothing could be played.
    virtual bool Play(const QString &file, bool asynchronous, bool useDefault) = 0;
};
