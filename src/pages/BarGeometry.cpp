#include "pages/BarGeometry.h"

#include <algorithm>

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

QPoint ReachablePosition(const QPoint &asked, const QSize &size, const QList<QRect> &screens) {
    if (screens.isEmpty())
        return asked;
    const QRect corner(asked, QSize(qMin(size.width(), BarGeometry::GaugeColumn), 19));
    for (const QRect &screen : screens)
        if (screen.contains(corner))
            return asked;
    // Distances in 64 bits: stored places may be anywhere in the 32-bit range.
    auto distance = [&asked](const QRect &screen) {
        const qint64 dx = std::max<qint64>({qint64(screen.left()) - asked.x(), 0, qint64(asked.x()) - screen.right()});
        const qint64 dy = std::max<qint64>({qint64(screen.top()) - asked.y(), 0, qint64(asked.y()) - screen.bottom()});
        return dx * dx + dy * dy;
    };
    QRect nearest = screens.first();
    for (const QRect &screen : screens)
        if (distance(screen) < distance(nearest))
            nearest = screen;
    auto fit = [](int at, int length, int start, int extent) {
        if (length >= extent)
            return start;
        return qBound(start, at, start + extent - length);
    };
    return QPoint(fit(asked.x(), size.width(), nearest.left(), nearest.width()),
                  fit(asked.y(), size.height(), nearest.top(), nearest.height()));
}
