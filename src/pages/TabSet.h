#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>

// The colour a tab's name is written in on a tab of this colour: black, the bar's own look, as long
// as it reaches a contrast ratio of 3:1 with the tab (by relative luminance), white on darker tabs.
QColor TabTextColor(const QColor &tab);

// The row of page tabs under the page area: tabs hang down from the page they choose, the
// selected one in its own colour; arrows at the right end scroll a row too long for the bar.
// Drawn by itself so that hundreds of tabs cost nothing to set up.
class TTabSet : public QWidget {
    Q_OBJECT
public:
    explicit TTabSet(QWidget *parent = nullptr);

    int count() const { return tabs_.size(); }
    QString tabText(int index) const { return tabs_.value(index); }
    void setTabText(int index, const QString &text);
    void setTabs(const QStringList &tabs); // selects the first tab, or none
    const QStringList &tabs() const { return tabs_; }
    int currentIndex() const { return current_; }
    void setCurrentIndex(int index);
    // The first tab shown at the left end.
    int firstIndex() const { return first_; }
    void setFirstIndex(int index);
    // The tab at a point of the widget, -1 where there is none.
    int tabAt(const QPoint &pos) const;
    QRect tabRect(int index) const; // empty for tabs scrolled out of sight
    // Its index among the visible tabs, -1 where there is none.
    int visiblePositionAt(const QPoint &pos) const;

    QColor selectedColor() const { return selectedColor_; }
    QColor unselectedColor() const { return unselectedColor_; }
    void setSelectedColor(const QColor &color);
    void setUnselectedColor(const QColor &color);

signals:
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    QSize sizeHint() const override;

private:
    struct Slot {
        int index;
        QRect rect;
    };
    QList<Slot> Layout() const;
    bool Overflows() const;
    QRect LeftArrow() const;
    QRect RightArrow() const;
    int TabWidth(const QString &text) const;

    QStringList tabs_;
    int current_ = -1;
    int first_ = 0;
    QColor selectedColor_{0xC0, 0xC0, 0xC0};
    QColor unselectedColor_{0x00, 0x80, 0x80};
};
