#pragma once

#include "components/enhgauge.h" // EInvalidOperation
#include "platform/NotificationArea.h"

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

Q_MOC_INCLUDE(<QMenu>)

class QMenu;
class QWidget;
class TZtTimerManager;
class TZtTrayIcon95;

// One timed job of a TZtTimerManager. Owned by its manager; made by TZtTimerManager::AddTimer.
class TZtTimerItem {
public:
    using TCallback = std::function<void(TZtTimerItem *item)>;

    TZtTimerItem(TZtTimerManager *manager, bool enabled, int interval, TCallback callback);
    bool Enabled() const { return enabled_; }
    // A change makes the manager recalculate, which restarts the count of every enabled item.
    void setEnabled(bool enabled);
    int Interval() const { return interval_; }
    // A change recalculates when the item is enabled.
    void setInterval(int interval);

private:
    friend class TZtTimerManager;
    TZtTimerManager *manager_;
    bool enabled_;
    int interval_;
    TCallback callback_;
    qint64 lastFired_ = 0; // when the item last fired or was armed, in the manager's clock
};

// Runs any number of timed jobs on one timer: its period is the shortest interval among the
// enabled items, and it stands still while none is enabled.
class TZtTimerManager : public QObject {
    Q_OBJECT
public:
    explicit TZtTimerManager(QObject *owner = nullptr);
    ~TZtTimerManager() override;

    // Appends a new item and recalculates. The callback may be empty.
    TZtTimerItem *AddTimer(bool enabled, int interval, TZtTimerItem::TCallback callback);
    bool Enabled() const { return enabled_; }
    // Switching on recalculates; switching off stops the timer.
    void setEnabled(bool enabled);
    // Restarts the count of every enabled item and sets the timer from them.
    void Recalculate();
    // One tick of the timer: every enabled item whose interval has elapsed fires, in list order.
    void Tick();

    bool Running() const { return timer_.isActive(); }
    int Period() const { return timer_.interval(); }
    // Milliseconds of a monotonic clock. Tests replace it.
    std::function<qint64()> Now;

private:
    QTimer timer_;
    std::vector<std::unique_ptr<TZtTimerItem>> items_;
    bool enabled_ = false;
};

// The frames the tray icon shows in state tsAnimated, one per Interval.
class TZtTrayIconAnimation : public QObject {
    Q_OBJECT
public:
    // aoIconsInExe: each entry names an icon among the program's resources (":/<name>");
    // aoIconsAreFiles: each entry is an icon file.
    enum TZtTrayIconAnimationOptions { aoIconsInExe, aoIconsAreFiles };
    Q_ENUM(TZtTrayIconAnimationOptions)

    Q_PROPERTY(int Interval READ Interval WRITE setInterval)
    Q_PROPERTY(QStringList Icons READ Icons WRITE setIcons)
    Q_PROPERTY(TZtTrayIconAnimationOptions Options READ Options WRITE setOptions)

    int Interval() const { return interval_; }
    // A new value restarts a running animation at its first frame.
    void setInterval(int interval);
    QStringList Icons() const { return icons_; }
    // A running animation goes on with the first frame of the new list.
    void setIcons(const QStringList &icons);
    TZtTrayIconAnimationOptions Options() const { return options_; }
    void setOptions(TZtTrayIconAnimationOptions options) { options_ = options; }
    // The index of the frame the next step shows.
    int NextFrame() const { return nextFrame_; }

private:
    friend class TZtTrayIcon95;
    TZtTrayIconAnimation(TZtTrayIcon95 *owner, TZtTimerManager &timers);
    bool Running() const;
    void Start();
    void Step();
    void Stop();
    // Sets icon to frame k; an index outside the list leaves it as it is.
    void LoadFrame(int k, QIcon &icon) const;

    TZtTrayIcon95 *owner_;
    int interval_ = 1000;
    QStringList icons_;
    TZtTrayIconAnimationOptions options_ = aoIconsAreFiles;
    int nextFrame_ = 0;
    TZtTimerItem *timerItem_;
};

// Turns the notification area's mouse messages into the tray icon's events, and removes the
// icon at the end of the session.
class TZtTrayIconMsgWindow {
public:
    TZtTrayIconMsgWindow(TZtTrayIcon95 *owner, TZtTimerManager &timers);
    void Mouse(TrayMouse message);
    // The session ends (ending true) or an ending was called off.
    void EndSession(bool ending);

    static constexpr int ClickDelay = 400;
    static constexpr int ExitPoll = 70;

private:
    void FireClick();
    void CheckExit();
    void PopUp();

    TZtTrayIcon95 *owner_;
    Qt::MouseButton lastButton_ = Qt::NoButton;
    bool doubleClick_ = false;
    TZtTimerItem *clickItem_;
    TZtTimerItem *exitItem_;
    QPoint lastPos_;
    bool inside_ = false;
};

// The program's icon in the notification area: its picture follows State, its tip follows
// Hint, its mouse messages become events, and minimising the owning window can hide the window
// into it. All timed work shares one TZtTimerManager.
class TZtTrayIcon95 : public QObject {
    Q_OBJECT
public:
    enum TZtTrayIconState { tsEnabled, tsDisabled, tsAnimated };
    Q_ENUM(TZtTrayIconState)
    enum TZtTrayIconOption { toMinimizeToTray = 1 };
    Q_DECLARE_FLAGS(TZtTrayIconOptions, TZtTrayIconOption)
    Q_FLAG(TZtTrayIconOptions)
    // Keys and mouse buttons held when a mouse event is reported.
    enum TShiftStateFlag {
        ssShift = 1,
        ssAlt = 2,
        ssCtrl = 4,
        ssLeft = 8,
        ssRight = 16,
        ssMiddle = 32
    };
    Q_DECLARE_FLAGS(TShiftState, TShiftStateFlag)

    using TNotifyEvent = std::function<void(QObject *sender)>;
    using TMouseMoveEvent = std::function<void(QObject *sender, TShiftState shift, int x, int y)>;
    using TStateChangingEvent = std::function<void(QObject *sender, TZtTrayIconState &newState)>;

    Q_PROPERTY(QIcon Icon READ Icon WRITE setIcon)
    Q_PROPERTY(QIcon DisabledIcon READ DisabledIcon WRITE setDisabledIcon)
    Q_PROPERTY(TZtTrayIconAnimation *Animation READ Animation)
    Q_PROPERTY(bool Active READ Active WRITE setActive)
    Q_PROPERTY(bool AutoPopup READ AutoPopup WRITE setAutoPopup)
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE setShowHint)
    Q_PROPERTY(TZtTrayIconOptions Options READ Options WRITE setOptions)
    Q_PROPERTY(QMenu *PopupMenu READ PopupMenu WRITE setPopupMenu)
    Q_PROPERTY(TZtTrayIconState State READ State WRITE setState)

    // The owner must be a window ("TrayIcons must be owned by a Form !" otherwise). The icon
    // takes over the area's OnMouse. Without an area the icon never becomes active.
    TZtTrayIcon95(QObject *owner, INotificationArea *area);
    ~TZtTrayIcon95() override;

    QIcon Icon() const { return icon_; }
    void setIcon(const QIcon &icon);
    QIcon DisabledIcon() const { return disabledIcon_; }
    void setDisabledIcon(const QIcon &icon);
    TZtTrayIconAnimation *Animation() const { return animation_.get(); }
    // True only while the area holds the icon.
    bool Active() const { return active_; }
    void setActive(bool active);
    bool AutoPopup() const { return autoPopup_; }
    // Hosts that draw the icon's menu themselves get PopupMenu while this is on.
    void setAutoPopup(bool autoPopup);
    QString Hint() const { return hint_; }
    void setHint(const QString &hint);
    bool ShowHint() const { return showHint_; }
    void setShowHint(bool showHint);
    TZtTrayIconOptions Options() const { return options_; }
    void setOptions(TZtTrayIconOptions options) { options_ = options; }
    QMenu *PopupMenu() const;
    void setPopupMenu(QMenu *menu);
    TZtTrayIconState State() const { return state_; }
    // Throws EInvalidOperation when called from OnStateChanging.
    void setState(TZtTrayIconState state);

    // Adds the icon to the area; it stays inactive when the area refuses it.
    void Show();
    void Hide();
    // Takes the picture for the state and hands it to the area when active.
    void RefreshIcon();
    // The picture the area is given, and the tip text (at most 63 characters of Hint).
    QIcon CurrentIcon() const { return current_; }
    QString Tip() const { return tip_; }

    // Hides the owning window, which takes its taskbar button away.
    virtual void MinimizeApplication();
    // Shows the owning window again, not minimised.
    virtual void RestoreApplication();
    // Drawing the desktop needs no lock here: a no-op kept for subclasses.
    virtual void LockDesktopUpdate(bool lock);
    // The owning window was minimised / restored. At construction the icon watches the owning
    // window and calls these itself; an owner with handlers of its own stops that with
    // WatchOwnerWindow(false).
    void ApplicationMinimized();
    void ApplicationRestored();
    void WatchOwnerWindow(bool watch);

    TZtTimerManager &TimerManager() { return timers_; }
    TZtTrayIconMsgWindow &MsgWindow() { return *msgWindow_; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseMoveEvent OnMouseMove;
    TMouseMoveEvent OnMouseEnter;
    TMouseMoveEvent OnMouseExit;
    TNotifyEvent OnAnimation;
    TNotifyEvent OnAppMinimize;
    TNotifyEvent OnAppRestore;
    TStateChangingEvent OnStateChanging;

    // Where the pointer is, in screen coordinates; QCursor::pos() unless replaced.
    std::function<QPoint()> CursorPos;
    // Pops the menu up at a screen position; QMenu::popup unless replaced.
    std::function<void(QMenu *menu, const QPoint &at)> PopupHandler;
    // The keys and buttons held now.
    static TShiftState CurrentShiftState();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class TZtTrayIconAnimation;
    friend class TZtTrayIconMsgWindow;
    static QWidget *CheckedForm(QObject *owner);
    QWidget *Form() const;
    void GiveAreaMenu();

    INotificationArea *area_;
    TZtTimerManager timers_;
    std::unique_ptr<TZtTrayIconMsgWindow> msgWindow_;
    QIcon current_;
    QIcon icon_;
    QIcon disabledIcon_;
    std::unique_ptr<TZtTrayIconAnimation> animation_;
    bool active_ = false;
    bool autoPopup_ = false;
    QString hint_;
    bool showHint_ = true;
    QString tip_;
    TZtTrayIconOptions options_ = toMinimizeToTray;
    QPointer<QMenu> popupMenu_;
    TZtTrayIconState state_ = tsEnabled;
    bool inStateChanging_ = false;
    bool watchOwner_ = true;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TZtTrayIcon95::TZtTrayIconOptions)
Q_DECLARE_OPERATORS_FOR_FLAGS(TZtTrayIcon95::TShiftState)
