#include "pages/Notebook.h"

TNotebook::TNotebook(QWidget *parent) : QWidget(parent) {}

QWidget *TNotebook::widget(int index) const {
    if (index < 0 || index >= count())
        return nullptr;
    if (!pages_[index]) {
        auto *page = new QWidget(const_cast<TNotebook *>(this));
        page->setObjectName(QStringLiteral("Page") + QString::number(index));
        page->setGeometry(rect());
        page->setVisible(index == current_);
        pages_[index] = page;
    }
    return pages_[index];
}

void TNotebook::setCurrentIndex(int index) {
    if (index < -1 || index >= count() || index == current_)
        return;
    if (QWidget *old = madeWidget(current_))
        old->hide();
    current_ = index;
    if (QWidget *page = widget(index))
        page->show();
    emit currentChanged(index);
}

void TNotebook::setCount(int pages) {
    const QList<QWidget *> old = std::exchange(pages_, QList<QWidget *>(qMax(0, pages), nullptr));
    current_ = -1;
    // Freed at once, so that rebuilds in a row never pile up pages.
    qDeleteAll(old);
}

void TNotebook::resizeEvent(QResizeEvent *) {
    for (QWidget *page : std::as_const(pages_))
        if (page)
            page->setGeometry(rect());
}
