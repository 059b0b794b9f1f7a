#include "pages/TabSet.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {
constexpr int kSlant = 5;   // a tab's sides lean in by this much at the bottom
constexpr int kPadding = 5; // blank beside the text
constexpr int kArrow = 16;  // width of a scroll arrow

// Relative luminance of an sRGB colour, 0 for black to 1 for white.
double RelativeLuminance(const QColor &color) {
    auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
           0.0722 * linear(color.blueF());
}
} // namespace

QColor TabTextColor(const QColor &tab) {
    // The contrast ratio of black on the tab, (L + 0.05) / 0.05; 3:1 is the least that still
    // reads at the tab row's size. The default teal and silver tabs keep their black names.
    const double onBlack = (RelativeLuminance(tab) + 0.05) / 0.05;
    return onBlack >= 3.0 ? QColor(Qt::black) : QColor(Qt::white);
}

TTabSet::TTabSet(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void TTabSet::setTabText(int index, const QString &text) {
    if (index < 0 || index >= tabs_.size() || tabs_[index] == text)
        return;
    tabs_[index] = text;
    update();
}

void TTabSet::setTabs(const QStringList &tabs) {
    tabs_ = tabs;
    first_ = 0;
    current_ = tabs_.isEmpty() ? -1 : 0;
    update();
}

void TTabSet::setCurrentIndex(int index) {
    if (index < -1 || index >= tabs_.size() || index == current_)
        return;
    current_ = index;
    // Keep the selected tab in sight.
    if (current_ >= 0) {
        if (current_ < first_)
            first_ = current_;
        while (first_ < current_ && tabRect(current_).isEmpty())
            ++first_;
    }
    update();
    emit currentChanged(current_);
}

void TTabSet::setFirstIndex(int index) {
    index = qBound(0, index, qMax(0, int(tabs_.size()) - 1));
    if (index != first_) {
        first_ = index;
        update();
    }
}

void TTabSet::setSelectedColor(const QColor &color) {
    selectedColor_ = color;
    update();
}

void TTabSet::setUnselectedColor(const QColor &color) {
    unselectedColor_ = color;
    update();
}

int TTabSet::TabWidth(const QString &text) const {
    return fontMetrics().horizontalAdvance(text) + 2 * (kPadding + kSlant);
}

bool TTabSet::Overflows() const {
    if (first_ > 0)
        return true;
    int x = 0;
    for (const QString &text : tabs_) {
        x += TabWidth(text) - kSlant;
        if (x > width())
            return true;
    }
    return false;
}

QRect TTabSet::LeftArrow() const { return QRect(width() - 2 * kArrow, 0, kArrow, height()); }
QRect TTabSet::RightArrow() const { return QRect(width() - kArrow, 0, kArrow, height()); }

QList<TTabSet::Slot> TTabSet::Layout() const {
    QList<Slot> placed;
    const int limit = Overflows() ? width() - 2 * kArrow : width();
    int x = 0;
    for (int i = first_; i < tabs_.size(); ++i) {
        const int w = TabWidth(tabs_[i]);
        if (x + w > limit && !placed.isEmpty())
            break;
        placed.append({i, QRect(x, 0, w, height())});
        x += w - kSlant;
    }
    return placed;
}

QRect TTabSet::tabRect(int index) const {
    for (const Slot &slot : Layout())
        if (slot.index == index)
            return slot.rect;
    return QRect();
}

int TTabSet::tabAt(const QPoint &pos) const {
    // The selected tab lies over its neighbours.
    const QList<Slot> placed = Layout();
    for (const Slot &slot : placed)
        if (slot.index == current_ && slot.rect.contains(pos))
            return slot.index;
    for (const Slot &slot : placed)
        if (slot.rect.adjusted(0, 0, -kSlant, 0).contains(pos))
            return slot.index;
    return -1;
}

int TTabSet::visiblePositionAt(const QPoint &pos) const {
    const int index = tabAt(pos);
    return index < 0 ? -1 : index - first_;
}

QSize TTabSet::sizeHint() const { return QSize(200, 18); }

void TTabSet::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (Overflows() && LeftArrow().contains(pos)) {
        setFirstIndex(first_ - 1);
        return;
    }
    if (Overflows() && RightArrow().contains(pos)) {
        if (!Layout().isEmpty() && Layout().last().index < tabs_.size() - 1)
            setFirstIndex(first_ + 1);
        return;
    }
    const int index = tabAt(pos);
    if (index >= 0)
        setCurrentIndex(index);
}

void TTabSet::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.setPen(Qt::black);
    p.drawLine(0, 0, width(), 0); // the edge of the page above
    p.setRenderHint(QPainter::Antialiasing, false);
    const QList<Slot> placed = Layout();
    auto drawTab = [&](const Slot &slot) {
        const QRect r = slot.rect.adjusted(0, 0, -1, -1);
        QPolygon shape;
        shape << r.topLeft() << QPoint(r.left() + kSlant, r.bottom())
              << QPoint(r.right() - kSlant, r.bottom()) << r.topRight();
        const bool selected = slot.index == current_;
        p.setBrush(selected ? selectedColor_ : unselectedColor_);
        p.setPen(Qt::black);
        p.drawPolygon(shape);
        if (selected) { // joined to the page above
            p.setPen(selectedColor_);
            p.drawLine(r.left() + 1, 0, r.right() - 1, 0);
        }
        p.setPen(TabTextColor(selected ? selectedColor_ : unselectedColor_));
        p.drawText(r, Qt::AlignCenter, tabs_[slot.index]);
    };
    for (int i = placed.size() - 1; i >= 0; --i)
        if (placed[i].index != current_)
            drawTab(placed[i]);
    for (const Slot &slot : placed)
        if (slot.index == current_)
            drawTab(slot);
    if (Overflows()) {
        for (const QRect &arrow : {LeftArrow(), RightArrow()}) {
            p.setBrush(palette().color(QPalette::Button));
            p.setPen(Qt::black);
            p.drawRect(arrow.adjusted(0, 0, -1, -1));
            const QPoint c = arrow.center();
            QPolygon head;
            if (arrow == LeftArrow())
                head << QPoint(c.x() + 2, c.y() - 4) << QPoint(c.x() - 2, c.y()) << QPoint(c.x() + 2, c.y() + 4);
            else
                head << QPoint(c.x() - 2, c.y() - 4) << QPoint(c.x() + 2, c.y()) << QPoint(c.x() - 2, c.y() + 4);
            p.setBrush(Qt::black);
            p.drawPolygon(head);
        }
    }
}
