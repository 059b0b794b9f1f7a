#include "components/enhgauge.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <limits>

namespace {

// A rectangle as the drawing below thinks of it: right and bottom are just outside.
struct Edges {
    int left, top, right, bottom;
};

// The image's area in the drawing's own units: its pixels at a device pixel ratio of 1.
QRect LogicalRect(const QImage &image) {
    return QRect(QPoint(0, 0), image.deviceIndependentSize().toSize());
}

// The outline pen of the round faces: a single screen pixel at 1x, one unit (as many screen
// pixels as the ratio) on a high-density screen.
QPen OutlinePen(const QImage &image, const QColor &color) {
    return QPen(color, image.devicePixelRatio() == 1.0 ? 0 : 1);
}

void Fill(QImage &image, int left, int top, int right, int bottom, const QColor &color) {
    const QRect area = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)) & LogicalRect(image);
    if (area.isEmpty())
        return;
    QPainter painter(&image);
    painter.fillRect(area, color);
}

// Ties go to the even neighbour, as the rounding of the floating-point unit does.
int Nearest(long double x) {
    return int(std::nearbyint(x));
}

// A pie of the ellipse inside (left, top, right, bottom), counter-clockwise from the radial
// through start to the radial through end; the same point twice is the whole ellipse.
void Pie(QPainter &painter, const Edges &box, QPointF start, QPointF end) {
    const QRectF outline(box.left, box.top, box.right - box.left - 1, box.bottom - box.top - 1);
    const QPointF centre((box.left + box.right) / 2.0, (box.top + box.bottom) / 2.0);
    const double rx = qMax(1.0, (box.right - box.left) / 2.0);
    const double ry = qMax(1.0, (box.bottom - box.top) / 2.0);
    // Angles of the ellipse's own parameter, which is what the painter's arcs take; y grows
    // downward on screen and the painter's angles grow counter-clockwise.
    auto angle = [&](QPointF p) {
        return std::atan2(-(p.y() - centre.y()) / ry, (p.x() - centre.x()) / rx) * 180.0 / M_PI;
    };
    const double from = angle(start);
    double span = angle(end) - from;
    while (span <= 0)
        span += 360.0;
    if (std::abs(span - 360.0) < 1e-9 || std::abs(span) < 1e-9)
        span = 360.0;
    QPainterPath pie;
    pie.moveTo(outline.center());
    pie.arcTo(outline, from, span);
    pie.closeSubpath();
    painter.drawPath(pie);
}

// The ellipse by the same curves as the pies above, so that a pie covers its outline exactly.
void Ellipse(QPainter &painter, const Edges &box) {
    const QRectF outline(box.left, box.top, box.right - box.left - 1, box.bottom - box.top - 1);
    QPainterPath ellipse;
    ellipse.arcMoveTo(outline, 0);
    ellipse.arcTo(outline, 0, 360);
    ellipse.closeSubpath();
    painter.drawPath(ellipse);
}

// A one-pixel line that leaves out its end point, as line drawing on the screen always has. On
// a high-density screen the painter draws it one unit wide, sharp at the screen's own pixels.
void Line(QImage &image, QPoint from, QPoint to, const QColor &color) {
    if (image.devicePixelRatio() != 1.0) {
        QPainter painter(&image);
        // Through the pixels' centres, one unit wide: the pixels the line covers at 1x.
        painter.setPen(QPen(color, 1, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(from) + QPointF(0.5, 0.5), QPointF(to) + QPointF(0.5, 0.5));
        return;
    }
    const QRgb pixel = color.rgb();
    int x = from.x(), y = from.y();
    const int dx = qAbs(to.x() - x), dy = -qAbs(to.y() - y);
    const int sx = x < to.x() ? 1 : -1, sy = y < to.y() ? 1 : -1;
    int error = dx + dy;
    while (x != to.x() || y != to.y()) {
        if (image.rect().contains(x, y))
            image.setPixel(x, y, pixel);
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
}

// XORs the source onto the destination, both of one size.
void Invert(QImage &destination, const QImage &source) {
    for (int y = 0; y < destination.height(); ++y) {
        auto *d = reinterpret_cast<QRgb *>(destination.scanLine(y));
        const auto *s = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        for (int x = 0; x < destination.width(); ++x)
            d[x] = 0xFF000000u | ((d[x] ^ s[x]) & 0x00FFFFFFu);
    }
}

// size in the drawing's units; the image has size × ratio pixels.
QImage Blackened(const QSize &size, qreal ratio) {
    QImage image((QSizeF(size) * ratio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::black);
    return image;
}

} // namespace

void TBltBitmap::MakeLike(const QImage &other) {
    QImage::operator=(QImage(other.size(), QImage::Format_RGB32));
    setDevicePixelRatio(other.devicePixelRatio());
    fill(QColor(0, 0, 0)); // the window-frame colour
}

TEnhancedGauge::TEnhancedGauge(QWidget *parent) : QWidget(parent) {
    // Every pixel is painted, so nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 100);
}

// ---- properties ----

void TEnhancedGauge::setKind(TGaugeKind kind) {
    if (kind_ != kind) {
        kind_ = kind;
        Refresh();
    }
}

void TEnhancedGauge::setShowText(bool show) {
    if (showText_ != show) {
        showText_ = show;
        Refresh();
    }
}

void TEnhancedGauge::setBorderStyle(TBorderStyle style) {
    if (borderStyle_ != style) {
        borderStyle_ = style;
        Refresh();
    }
}

void TEnhancedGauge::setForeColor(const QColor &color) {
    if (foreColor_ != color) {
        foreColor_ = color;
        Refresh();
    }
}

void TEnhancedGauge::setBackColor(const QColor &color) {
    if (backColor_ != color) {
        backColor_ = color;
        Refresh();
    }
}

QColor TEnhancedGauge::Color() const {
    if (color_.isValid())
        return color_;
    return parentWidget() ? parentWidget()->palette().color(QPalette::Window)
                          : palette().color(QPalette::Window);
}

void TEnhancedGauge::setColor(const QColor &color) {
    if (color_ != color) {
        color_ = color;
        Refresh();
    }
}

void TEnhancedGauge::setMinValue(int value) {
    if (value == minValue_)
        return;
    if (value > maxValue_)
        throw EInvalidOperation(QStringLiteral("Value must be between %1 and %2")
                                    .arg(-2147483647)
                                    .arg(qint64(maxValue_) - 1)
                                    .toStdString());
    minValue_ = value;
    if (progress_ < value)
        progress_ = value;
    Refresh();
}

void TEnhancedGauge::setMaxValue(int value) {
    if (value == maxValue_)
        return;
    if (value < minValue_)
        throw EInvalidOperation(QStringLiteral("Value must be between %1 and %2")
                                    .arg(qint64(minValue_) + 1)
                                    .arg(2147483647)
                                    .toStdString());
    maxValue_ = value;
    if (progress_ > value)
        progress_ = value;
    Refresh();
}

void TEnhancedGauge::setProgress(int value) {
    const int before = Percentage();
    value = qBound(minValue_, value, maxValue_);
    if (value == progress_)
        return;
    progress_ = value;
    if (Percentage() != before)
        Refresh();
}

void TEnhancedGauge::setProgressText(const QString &text) {
    progressText_ = text;
    Refresh();
}

void TEnhancedGauge::setAlignment(TAlignment alignment) {
    alignment_ = alignment;
    Refresh();
}

// The differences are taken in 64 bits: a range wider than 32 bits (from below -2^30 to above
// 2^30) must not wrap into a nonsense percentage.
int TEnhancedGauge::Percentage() const {
    return PercentOf(qint64(progress_) - minValue_, qint64(maxValue_) - minValue_);
}

int TEnhancedGauge::PartOf(int percent, int whole) {
    const long double share = (long double)percent * 0.01L;
    return int(std::trunc((long double)whole * share));
}

int TEnhancedGauge::PercentOf(qint64 x, qint64 z) {
    if (z == 0)
        return 0;
    return int(std::trunc((long double)x * 100.0L / (long double)z));
}

QString TEnhancedGauge::DisplayText() const {
    const QString percent = QStringLiteral("%1%").arg(Percentage());
    if (progressText_.isEmpty())
        return percent;
    if (alignment_ == taLeftJustify)
        return percent + QStringLiteral(" : ") + progressText_;
    return progressText_ + QStringLiteral(" : ") + percent;
}

// ---- painting ----

// An immediate paint, not a deferred one: the caller sees the new face at once.
void TEnhancedGauge::Refresh() {
    if (isVisible())
        repaint();
}

QRect TEnhancedGauge::PaintRect() const {
    QRect r(0, 0, width(), height());
    if (borderStyle_ == bsSingle)
        r.adjust(1, 1, -1, -1);
    return r;
}

QImage TEnhancedGauge::Render(qreal devicePixelRatio) const {
    // The image starts black; what the face leaves untouched (the frame) stays black.
    QImage image = Blackened(size(), devicePixelRatio);
    const QRect paint = PaintRect();
    TBltBitmap overlay;
    overlay.MakeLike(image);
    overlay.fill(Qt::black);
    DrawFace(overlay, paint);
    Invert(image, overlay);
    if (showText_)
        DrawText(image, paint);
    return image;
}

void TEnhancedGauge::DrawFace(QImage &overlay, const QRect &rect) const {
    const Edges r{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
    const bool single = borderStyle_ == bsSingle;
    const int p = Percentage();
    switch (kind_) {
    case gkText:
        Fill(overlay, r.left, r.top, r.right, r.bottom, backColor_);
        break;
    case gkHorizontalBar:
    case gkVerticalBar: {
        const int w = r.right - r.left + 1;
        const int h = r.bottom - r.top + 1;
        Fill(overlay, r.left, r.top, r.right, r.bottom, backColor_);
        if (kind_ == gkHorizontalBar) {
            // The right and bottom edges are the fill and the height themselves, not offsets
            // from the face's corner: with a border the bar stops a pixel short.
            const int fill = qMin(PartOf(p, w), w);
            if (fill > 0)
                Fill(overlay, r.left, r.top, fill, h, foreColor_);
        } else {
            int fill = PartOf(p, h);
            if (fill >= h)
                fill = h - 1;
            Fill(overlay, r.left, h - fill, w, h, foreColor_);
        }
        break;
    }
    case gkPie: {
        const int w = r.right - r.left + (single ? 1 : 0);
        const int h = r.bottom - r.top + (single ? 1 : 0);
        Fill(overlay, r.left, r.top, r.right, r.bottom, Color());
        QPainter painter(&overlay);
        painter.setPen(OutlinePen(overlay, foreColor_));
        painter.setBrush(backColor_);
        const Edges box{r.left, r.top, w, h};
        Ellipse(painter, box);
        if (p > 0) {
            painter.setBrush(foreColor_);
            const int mx = w / 2, my = h / 2;
            const long double a = ((long double)p * 0.02L + 0.5L) * M_PIl;
            const QPointF start(Nearest(mx * (1 - std::cos(a))), Nearest(my * (1 - std::sin(a))));
            Pie(painter, box, start, QPointF(mx, 0));
        }
        break;
    }
    case gkNeedle: {
        const int x = r.left;
        const int w = r.right - r.left + (single ? 1 : 0);
        const int h = r.bottom - r.top + (single ? 1 : 0);
        Fill(overlay, r.left, r.top, r.right, r.bottom, Color());
        QPainter painter(&overlay);
        painter.setPen(OutlinePen(overlay, foreColor_));
        painter.setBrush(backColor_);
        // The upper half of an ellipse twice the face's height, standing on its bottom edge.
        Pie(painter, Edges{x, r.top, w, 2 * h - 1}, QPointF(x + w, r.bottom - 1),
            QPointF(x, r.bottom - 1));
        painter.end();
        Line(overlay, QPoint(x, r.bottom), QPoint(x + w, r.bottom), foreColor_);
        if (p > 0) {
            const int mx = width() / 2;
            const long double a = (long double)p * 0.01L * M_PIl;
            Line(overlay, QPoint(mx, r.bottom - 1),
                 QPoint(Nearest(mx * (1 - std::cos(a))),
                        Nearest((r.bottom - 1) * (1 - std::sin(a)))),
                 foreColor_);
        }
        break;
    }
    }
}

void TEnhancedGauge::DrawText(QImage &image, const QRect &rect) const {
    TBltBitmap scratch;
    scratch.MakeLike(image);
    scratch.fill(Qt::black);
    const QString text = DisplayText();
    QFont textFont = font();
    // Plain pixels: an inverted half-tone edge would show as a coloured fringe.
    textFont.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(textFont);
    const int textWidth = metrics.horizontalAdvance(text);
    const int textHeight = metrics.height();
    const int left = rect.left(), right = rect.left() + rect.width();
    const int top = rect.top(), bottom = rect.top() + rect.height();
    int x;
    if (progressText_.isEmpty() || alignment_ == taCenter)
        x = (right - left + 1 - textWidth) / 2;
    else if (alignment_ == taLeftJustify)
        x = left + 2;
    else
        x = width() - (textWidth + 2);
    const int y = (bottom - top + 1 - textHeight) / 2;
    QPainter painter(&scratch);
    painter.setClipRect(rect);
    painter.setFont(textFont);
    painter.setPen(Qt::white);
    painter.drawText(x, y + metrics.ascent(), text);
    painter.end();
    Invert(image, scratch);
}

void TEnhancedGauge::paintEvent(QPaintEvent *) {
    ++paintCount_;
    // Drawn at the screen's own density: an image of the widget's size would be scaled up.
    const QImage image = Render(devicePixelRatioF());
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), image);
}

// ---- mouse ----

void TEnhancedGauge::mousePressEvent(QMouseEvent *event) {
    if (OnMouseDown)
        OnMouseDown(event);
}

void TEnhancedGauge::mouseMoveEvent(QMouseEvent *event) {
    if (OnMouseMove)
        OnMouseMove(event);
}

void TEnhancedGauge::mouseReleaseEvent(QMouseEvent *event) {
    if (OnMouseUp)
        OnMouseUp(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick)
        OnClick();
}

void TEnhancedGauge::mouseDoubleClickEvent(QMouseEvent *event) {
    if (OnDblClick)
        OnDblClick();
}
