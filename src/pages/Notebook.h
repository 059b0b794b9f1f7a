#pragma once

#include <QList>
#include <QWidget>

// The page area: a stack of pages of which the current one is shown. A page's widget is made
// when it is first asked for, so that thousands of pages cost nothing until they are used; to
// its users every page exists.
class TNotebook : public QWidget {
    Q_OBJECT
public:
    explicit TNotebook(QWidget *parent = nullptr);

    int count() const { return int(pages_.size()); }
    // The page at index, made now if it was not yet; nullptr outside the pages.
    QWidget *widget(int index) const;
    // The page at index if it has been made, else nullptr.
    QWidget *madeWidget(int index) const {
        return index >= 0 && index < count() ? pages_[index] : nullptr;
    }
    int currentIndex() const { return current_; }
    QWidget *currentWidget() const { return widget(current_); }
    void setCurrentIndex(int index);
    // Replaces the pages by pages pages, none made yet and none current. The old ones are
    // freed at once.
    void setCount(int pages);

signals:
    void currentChanged(int index);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    mutable QList<QWidget *> pages_;
    int current_ = -1;
};
