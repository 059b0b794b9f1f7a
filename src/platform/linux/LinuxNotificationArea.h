#pragma once

#include "platform/NotificationArea.h"

#include <QPointer>
#include <memory>

class QMenu;
class QSystemTrayIcon;

// The notification-area icon through QSystemTrayIcon. A click arrives as LeftDown, a double click
// as LeftDouble and a context request as RightDown; the desktop reports no pointer moves.
class LinuxNotificationArea : public INotificationArea {
public:
    LinuxNotificationArea();
    ~LinuxNotificationArea() override;

    bool Available() const override;
    bool Add(const QIcon &icon, const QString &hint) override;
    bool Modify(const QIcon &icon, const QString &hint) override;
    bool Delete() override;
    // _NET_WM_STATE_SKIP_TASKBAR on X11; nothing elsewhere.
    void SetTaskbarButton(QWidget *window, bool shown) override;
    // _NET_WM_STATE_ABOVE, under mutter.
    void SetKeepAbove(QWidget *window, bool above) override;
    bool KeepsAbove() const override;
    // The initial state of WM_HINTS back to normal.
    void ShowNormalWhenMapped(QWidget *window) override;
    // Exported with the icon where the icon speaks D-Bus (StatusNotifierItem); the XEmbed icon
    // leaves the right button to the program.
    void SetMenu(QMenu *menu) override;

private:
    // The exported menu carries the given menu's actions, so the host shows its current entries
    // and choosing one triggers the action itself.
    void MirrorMenu();

    std::unique_ptr<QSystemTrayIcon> icon_;
    QPointer<QMenu> menu_;
    std::unique_ptr<QMenu> exported_; // while an icon hands it to the host
    // Adds a _NET_WM_STATE atom to the window's state or takes it away.
    void SetWindowState(QWidget *window, const char *atomName, quint32 &atom, bool on);
    quint32 stateAtom_ = 0; // XCB_ATOM_NONE until asked
    quint32 skipTaskbarAtom_ = 0;
    quint32 aboveAtom_ = 0;
    mutable QString windowManager_; // null until asked
};
