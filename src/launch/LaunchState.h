#pragma once

#include "settings/YesNoOption.h"

#include <QString>

// The launch in progress and the one before it: written by the launch handlers alone.
struct LaunchState {
    // The launch's own choice; neither (as before the first launch): the global option decides.
    YesNoOption shrink;
    int button = 0;     // the button whose program is being launched
    int captionCut = 0; // 5 for a button's program word, 4 from the recently launched list
    QString lastEntry;  // caption + "  |" + button number of the previous launch
};
