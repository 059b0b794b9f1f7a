#pragma once

#include "prefs/Lockout.h"

#include <QByteArray>
#include <QColor>

// What the preferences keep while the bar runs.
struct PrefsState {
    // The unlocked marker, or the password in force: changes are locked while they differ.
    QByteArray lockValue = lockout::kUnlockedMarker;
    // The colour dialog opens on the colour chosen last in this run.
    QColor lastColor = Qt::black;
    // The tab colours as stored: the tab row shows another selected colour while a page is renamed.
    int selectedColor = 12632256, unselectedColor = 8421376;
};
