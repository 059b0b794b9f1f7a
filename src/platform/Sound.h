#pragma once

#include <QString>

class ISound {
public:
    virtual ~ISound() = default;
    // Plays a wave file. asynchronous: return at once; otherwise wait for the end.
    // useDefault: play the theme's default sound when the file cannot be played.
    // False when nothing could be played.
    virtual bool Play(const QString &file, bool asynchronous, bool useDefault) = 0;
};
