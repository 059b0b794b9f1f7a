#pragma once

#include <QPoint>

class QWidget;

// Placing a window where the compositor chooses windows' places itself and ignores the
// window's own moves (sway centres every new floating window, X11 ones too), through the
// compositor's own documented means. Elsewhere the window's own moves suffice and nothing
// stands in for this.
class IWindowPlacement {
public:
    virtual ~IWindowPlacement() = default;
    // Asks for the top-left corner of the window's frame at framePosition (global). The window
    // need not be shown yet: the request waits, briefly, for the compositor to show it, and a
    // newer request for the same window replaces it.
    virtual void PlaceWindow(QWidget *window, const QPoint &framePosition) = 0;
    // The window's client area's offset in the frame the compositor drew around it, as last
    // seen once it was placed; null when unknown. For compositors that do not tell their frame
    // the X11 way (_NET_FRAME_EXTENTS), so the toolkit's own count has none.
    virtual QPoint FrameMargins(const QWidget *window) const = 0;
};
