#include "pages/BarGeometry.h"

int PerPageMaximum(int usableScreenWidth) { return usableScreenWidth > 700 ? 21 : 16; }

int BarGeometry::ClientWidth() const {
    // A framed window loses its borders (3 pixels a side) to the frame.
    return onTop ? windowWidth : windowWidth - 6;
}

BarGeometry ComputeBarGeometry(int n, int m, int menuHeight, int usableScreenWidth, bool onTop) {
    BarGeometry g;
    g.buttonsPerPage = n;
    g.perPageMaximum = m;
    g.onTop = onTop;
    g.barWidth = 40 * n - (40 * n) / 10;
    const bool taller = n > m;
    g.clientHeight = taller ? BarGeometry::PageHeight + 18 + BarGeometry::TabHeight - 2
                            : BarGeometry::PageHeight + BarGeometry::TabHeight - 1;
    g.framedHeight = menuHeight + g.clientHeight + 6;
    g.framedWidth = g.barWidth + 7;
    if (onTop) {
        g.windowWidth = BarGeometry::GaugeColumn + g.barWidth;
        g.pageAreaWidth = g.barWidth;
        g.windowHeight = g.clientHeight;
    } else {
        g.windowWidth = BarGeometry::GaugeColumn + g.framedWidth;
        g.pageAreaWidth = g.framedWidth;
        g.windowHeight = g.framedHeight;
    }
    if (g.windowWidth - 10 > usableScreenWidth)
        g.windowWidth = usableScreenWidth;
    g.scrollRange = taller ? g.pageAreaWidth + BarGeometry::GaugeColumn - 2 : 0;
    return g;
}

int CorrectedTop(int top, int screenHeight, int menuHeight, bool taller) {
    const int defaultTop = screenHeight - (menuHeight + 85);
    if (top >= screenHeight - 50)
        top = defaultTop + 10;
    if (taller && top >= defaultTop - 10)
        top = defaultTop - 15;
    return top;
}

int ButtonNumber(const QString &name) {
    if (name.size() < 12 || name.size() > 16)
        return 0;
    bool ok = false;
    const int number = name.mid(11).toInt(&ok);
    return ok ? number : 0;
}
