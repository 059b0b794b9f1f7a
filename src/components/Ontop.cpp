#include "components/Ontop.h"

#include <QEvent>
#include <QWidget>

TOnTop::TOnTop(QWidget *owner) : QObject(owner), owner_(owner) {
    owner_->installEventFilter(this);
}

bool TOnTop::eventFilter(QObject *watched, QEvent *event) {
    if (watched == owner_ && (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Show))
        RestoreTopmost();
    return false; // the owner handles the event as usual
}

void TOnTop::RestoreTopmost() {
    if (!owner_->isVisible() || !(owner_->windowFlags() & Qt::WindowStaysOnTopHint))
        return;
    ++restores_;
    owner_->raise();
}
