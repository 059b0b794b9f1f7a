#include "platform/linux/LinuxNotificationArea.h"

#include <QSystemTrayIcon>

LinuxNotificationArea::LinuxNotificationArea() = default;
LinuxNotificationArea::~LinuxNotificationArea() = default;

bool LinuxNotificationArea::Available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool LinuxNotificationArea::Add(const QIcon &icon, const QString &hint) {
    if (icon_ || !Available())
        return false;
    icon_ = std::make_unique<QSystemTrayIcon>(icon);
    icon_->setToolTip(hint);
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (!OnMouse)
                             return;
                         switch (reason) {
                         case QSystemTrayIcon::Trigger:
                             OnMouse(TrayMouse::LeftDown);
                             break;
                         case QSystemTrayIcon::DoubleClick:
                             OnMouse(TrayMouse::LeftDouble);
                             break;
                         case QSystemTrayIcon::Context:
                             OnMouse(TrayMouse::RightDown);
                             break;
                         default:
                             break;
                         }
                     });
    icon_->show();
    return true;
}

bool LinuxNotificationArea::Modify(const QIcon &icon, const QString &hint) {
    if (!icon_)
        return false;
    icon_->setIcon(icon);
    icon_->setToolTip(hint);
    return true;
}

bool LinuxNotificationArea::Delete() {
    if (!icon_)
        return false;
    icon_->hide();
    // The owner may delete the icon from inside its own mouse notification.
    icon_.release()->deleteLater();
    return true;
}
