#pragma once

#include <QObject>

class QWidget;

// Keeps its owner window above the others while the window asks to stay on top: when the
// owner loses activation or is shown again (after a modal box, after being minimised) it is
// put back at the top of the stacking order without being moved, sized or activated.
class TOnTop : public QObject {
    Q_OBJECT
public:
    explicit TOnTop(QWidget *owner);
    // How many times it has put the owner back on top.
    int Restores() const { return restores_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void RestoreTopmost();
    QWidget *owner_;
    int restores_ = 0;
};
