#pragma once

#include <QIcon>
#include <QString>
#include <functional>

class QMenu;
class QWidget;

enum class TrayMouse { LeftDown, LeftUp, LeftDouble, RightDown, RightUp, Move };

// The notification-area icon.
class INotificationArea {
public:
    virtual ~INotificationArea() = default;
    virtual bool Available() const = 0;
    virtual bool Add(const QIcon &icon, const QString &hint) = 0;
    virtual bool Modify(const QIcon &icon, const QString &hint) = 0;
    virtual bool Delete() = 0;
    // Gives the window a taskbar button or takes it away, without remaking the window.
    virtual void SetTaskbarButton(QWidget *window, bool shown) = 0;
    // Keeps the window above the others, or no longer, as a state the desktop holds for it,
    // without remaking the window. Only where KeepsAbove(); elsewhere the toolkit's hint does it.
    virtual void SetKeepAbove(QWidget *window, bool above) { (void)window, (void)above; }
    virtual bool KeepsAbove() const { return false; }
    // The window, minimised at start and since restored by the user, is mapped as a normal
    // window the next time it is shown (the toolkit keeps the minimised start it was asked for).
    virtual void ShowNormalWhenMapped(QWidget *window) { (void)window; }
    // The menu for hosts that draw the icon's menu themselves and open it on the right button
    // (StatusNotifierItem hosts read it over D-Bus); null for none. Kept for the icons added
    // later. Where the program pops its menus up itself (XEmbed), it changes nothing.
    virtual void SetMenu(QMenu *menu) { (void)menu; }
    std::function<void(TrayMouse)> OnMouse;
};
