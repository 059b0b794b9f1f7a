#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

// The bar's sizes, all in pixels. The window sizes are outer sizes as a framed window on the
// desktop of the original design would have them; ClientSize() turns them into the client
// area we ask the window manager for.
struct BarGeometry {
    static constexpr int GaugeColumn = 44; // P: width of the gauge panel, the left column
    static constexpr int PageHeight = 37;  // design height of the page area
    static constexpr int TabHeight = 18;   // design height of the tab row
    static constexpr int ButtonStep = 36;  // buttons overlap by one pixel
    static constexpr int ButtonSize = 37;

    int buttonsPerPage = 16; // N
    int perPageMaximum = 16; // M
    int barWidth = 0;        // B
    int clientHeight = 0;    // H
    int framedWidth = 0;     // W
    int framedHeight = 0;
    bool onTop = false;
    int windowWidth = 0;    // of the mode in force, after the width cap
    int windowHeight = 0;
    int pageAreaWidth = 0;
    int scrollRange = 0;    // 0: no horizontal scrolling

    int ClientWidth() const; // the client width of the window in the mode in force
};

// Per-page maximum from the usable screen width: 21 above 700 pixels, else 16 (also on narrow
// screens of 600 pixels or less, where the design left it unset).
int PerPageMaximum(int usableScreenWidth);

BarGeometry ComputeBarGeometry(int buttonsPerPage, int perPageMaximum, int menuHeight,
                               int usableScreenWidth, bool onTop);

// The stored top edge corrected so that the bar is not placed off the bottom of the screen.
int CorrectedTop(int storedTop, int screenHeight, int menuHeight, bool taller);

// The button number in a launch button's name: "SpeedButton" + 1 to 5 digits; anything else 0.
int ButtonNumber(const QString &name);

// Where a window of this size asked to stand at this place is put so that the user can reach
// it: where asked when its top-left corner (the gauge and the start of the title) lies on a
// screen; otherwise inside the screen nearest to that corner, as far as it fits. A monitor
// unplugged or a damaged file must not leave the bar off every screen.
QPoint ReachablePosition(const QPoint &asked, const QSize &size, const QList<QRect> &screens);
