// The bar's three presentations: expanded (the whole bar), shrunk (the gauge alone, a tiny
// borderless window above the others) and hidden (only the notification-area icon), the one
// toggle between them, the watch that brings the bar back when the program started from it
// ends, stay on top, and the options of the setup menu that steer them.

#include <QWindow>
#include "app/Icons.h"
#include "components/Ontop.h"
#include "components/ZtTray95.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFrame>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace {
// The window's hints for a style: on top goes without the desktop's frame.
Qt::WindowFlags StyleFlags(Qt::WindowFlags current, bool onTop) {
    Qt::WindowFlags flags = current & ~(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    if (onTop)
        flags |= Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    return flags;
}
} // namespace

// ---- the notification-area icon ----

bool TForm1::TrayAvailable() const { return platform_.tray && platform_.tray->Available(); }

// The icon in the notification area: a left click brings the bar back (or shrinks it), the right
// button opens the tray menu. Its events run after the notification that caused them.
void TForm1::CreateTrayIcon() {
    TrayIcon = new TZtTrayIcon95(this, platform_.tray);
    TrayIcon->setIcon(QApplication::windowIcon());
    TrayIcon->setDisabledIcon(QApplication::windowIcon());
    TrayIcon->setAutoPopup(true);
    // The bar handles its own minimising and restoring.
    TrayIcon->WatchOwnerWindow(false);
    TrayIcon->OnClick = [this](QObject *) {
        QTimer::singleShot(0, this, [this] { Guarded([this] { SmallSizeClick(true); }); });
    };
    TrayIcon->PopupHandler = [this](QMenu *menu, const QPoint &at) {
        QTimer::singleShot(0, this, [this, menu, at] { Guarded([this, menu, at] { ShowPopup(menu, at); }); });
    };
}

void TForm1::SetTrayMenu(QMenu *menu) {
    trayMenu_ = menu;
    TrayIcon->setPopupMenu(menu);
}

void TForm1::ShowTrayIcon() {
    TrayIcon->Show();
}

void TForm1::HideTrayIcon() {
    TrayIcon->Hide();
}

bool TForm1::TrayIconShown() const { return TrayIcon->Active(); }

void TForm1::SetWindowStyle(bool onTop, bool taskbarButton) {
    // Only hints change: the window stays the same window for the desktop.
    const Qt::WindowFlags flags = StyleFlags(windowFlags(), onTop);
    if (flags != windowFlags())
        ApplyStyleFlags(flags);
    if (platform_.tray)
        platform_.tray->SetTaskbarButton(this, taskbarButton);
}

bool TForm1::PlatformKeepsAbove() const {
    return platform_.tray && platform_.tray->KeepsAbove();
}

void TForm1::ApplyStyleFlags(Qt::WindowFlags flags) {
    // The toolkit remakes a native window whose on-top hint changed, at its next showing: every
    // shrink and expand would hand the desktop a new window, and mutter was seen to end on one
    // that went while it still looked at it. Where the platform holds the state, the native
    // window never carries the hint, and only the window's state says it.
    const bool platformKeepsAbove = PlatformKeepsAbove();
    const Qt::WindowFlags native = platformKeepsAbove ? flags & ~Qt::WindowStaysOnTopHint : flags;
    QWindow *window = windowHandle();
    if (!window && platformKeepsAbove) {
        setWindowFlags(native);
        create();
        window = windowHandle();
    }
    if (window) {
        // Changed on the native window in place: remaking it would cost a new map.
        overrideWindowFlags(flags);
        if (window->flags() != native)
            window->setFlags(native);
    } else {
        setWindowFlags(flags);
    }
    TellKeepAbove();
}

void TForm1::TellKeepAbove() {
    if (PlatformKeepsAbove())
        platform_.tray->SetKeepAbove(this, windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

void TForm1::MoveToBarLocation() {
    const QPoint at = ReachablePosition(QPoint(Settings().left, Settings().top), size(),
                                        platform_.system->Screens());
    move(at);
    TellCompositorPlace(at);
}

void TForm1::TellCompositorPlace(const QPoint &framePos) {
    if (platform_.placement)
        platform_.placement->PlaceWindow(this, framePos);
}

void TForm1::PlaceFrameAt(const QPoint &framePos) {
    const QPoint at = ReachablePosition(framePos, size(), platform_.system->Screens());
    const bool framed = !windowFlags().testFlag(Qt::FramelessWindowHint);
    QPoint margins = placement_.framedMargins;
    if (margins.isNull() && platform_.placement) // a frame the toolkit is not told of
        margins = platform_.placement->FrameMargins(this);
    if (framed && margins.isNull())
        move(at); // the frame was never seen: the toolkit's count is the best there is
    else
        setGeometry(QRect(at + (framed ? margins : QPoint()), size()));
    TellCompositorPlace(at);
}

QPoint TForm1::FramePosition() const {
    const QPoint client = geometry().topLeft();
    if (windowFlags().testFlag(Qt::FramelessWindowHint))
        return client;
    QPoint margins = client - frameGeometry().topLeft();
    // A compositor that does not tell the toolkit its frame may tell the platform.
    if (margins.isNull() && platform_.placement)
        margins = platform_.placement->FrameMargins(this);
    return client - (margins.isNull() ? placement_.framedMargins : margins);
}

bool TForm1::HideToTray() {
    ShowTrayIcon();
    // Refused by the notification area, the bar stays: hidden, it would be out of reach.
    if (!TrayIcon->Active())
        return false;
    hide();
    return true;
}

// ---- the toggle ----

void TForm1::SmallSize() {
    const bool wasShrunk = presentation_.shrunk;
    // Without a notification area nothing may hide the bar beyond reach: it shrinks instead.
    // Asked only when the bar may hide: the question costs the session bus a round trip.
    bool canHide = !wasShrunk && TrayAvailable();
    YesNoOption hideOption =
        presentation_.hide.IsYes() && !canHide ? YesNoOption(false) : presentation_.hide;
    const bool launchSaysShrink = Launching().shrink.IsYes();
    bool shrankNow = false;

    if (!wasShrunk && hideOption.IsYes() && !HideToTray()) {
        canHide = false; // the icon was refused: shrunk and shown instead
        hideOption = YesNoOption(false);
    }
    if (!wasShrunk && (hideOption.IsNo() || launchSaysShrink)) {
        if (isVisible() && !windowFlags().testFlag(Qt::FramelessWindowHint) && frameGeometry() != geometry())
            placement_.framedMargins = geometry().topLeft() - frameGeometry().topLeft();
        // Unmapped only while its frame goes: a window unmapped and mapped again may come back
        // where the desktop last had it (KWin), not where it was moved in between.
        if (StyleFlags(windowFlags(), true) != windowFlags())
            QWidget::hide();
        if (items_.setup.LockGraphLocation1->isChecked())
            locationSavingSuppressed_ = true;
        presentation_.shrunk = true; // from here on, moves are not the bar's place
        scroller_->horizontalScrollBar()->setValue(0);
        scroller_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        SetWindowStyle(true, false);
        setFixedSize(Panel1->size());
        // The gauge takes the bar's corner: its saved place, which every move of the bar
        // updates. The toolkit's own count can be stale right after the window is mapped.
        QPoint at(Settings().left, Settings().top);
        if (items_.setup.LockGraphLocation1->isChecked())
            at = presentation_.lockedGaugeAt;
        PlaceFrameAt(at);
        const bool staysHidden = items_.setup.HideGraph1->isChecked() && !launchSaysShrink;
        if (staysHidden && canHide)
            QWidget::hide();
        else {
            show();
            // Told again once mapped: the window manager drops the state of a window it saw
            // unmapped, the hint written just before included.
            if (platform_.tray)
                platform_.tray->SetTaskbarButton(this, false);
            TellKeepAbove();
        }
        SetWatch(true);
        ShowTrayIcon();
        shrankNow = true;
    }
    if (wasShrunk && !shrankNow) {
        // The bar goes back to its own place: the moves that takes are not the user's.
        locationSavingSuppressed_ = true;
        presentation_.shrunk = false;
        SetWatch(false);
        const bool onTop =
            presentation_.onTop.IsYes() ||
            (!presentation_.onTop.IsNo() && windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        // Unmapped while the frame comes back, as when it went: KWin keeps a window it knows
        // as frameless without a frame when the hints change on the mapped window.
        // A compositor that places windows itself (sway) centres a floating window that grows,
        // whenever it sees the new size: shown anew, it is placed after it has taken the size.
        if (StyleFlags(windowFlags(), onTop) != windowFlags() || platform_.placement)
            QWidget::hide();
        // The size first: the desktop has the bar at its size while it puts the frame back.
        setFixedSize(presentation_.expandedSize);
        SetWindowStyle(onTop, true);
        ApplyScrollRange();
        PlaceFrameAt(QPoint(Settings().left, Settings().top));
        show();
        TellKeepAbove(); // the desktop may drop the state of a window it saw unmapped
        HideTrayIcon(); // once the bar is back
        locationSavingSuppressed_ = false;
    }
    setAcceptDrops(true);
}

void TForm1::SmallSizeClick(bool fromTrayIcon) {
    if (HelpModeClick(2))
        return;
    if (mode_ != InteractionMode::Normal)
        return;
    if (fromTrayIcon) {
        if (presentation_.shrunk)
            SmallSize();
        // A hidden bar comes back.
        show();
        HideTrayIcon();
        return;
    }
    if (presentation_.hide.IsYes() && TrayAvailable()) {
        if (presentation_.shrunk || !HideToTray())
            SmallSize();
        return;
    }
    if (presentation_.hide.IsYesOrNo())
        SmallSize();
}

// ---- the watch ----

void TForm1::SetWatch(bool on) {
    launchWatch_.on = on;
    // A program that ended while nothing watched is seen as soon as the watch is on again.
    if (on && launchWatch_.process != 0 && !platform_.processes->IsRunning(launchWatch_.process))
        QTimer::singleShot(0, this, [this] { Guarded([this] { AppActive32(); }); });
}

void TForm1::AppActive32() {
    if (!launchWatch_.on || Launching().captionCut == 4)
        return;
    if (launchWatch_.process == 0 || platform_.processes->IsRunning(launchWatch_.process))
        return;
    const bool autoExpand = items_.setup.AutoExpand1->isChecked();
    if (!presentation_.shrunk && autoExpand) {
        show();
        HideTrayIcon();
    }
    if (presentation_.shrunk && autoExpand)
        SmallSize();
    launchWatch_.process = 0; // one ended program is acted on once
}

void TForm1::WatchProcess(qint64 handle) {
    launchWatch_.process = handle;
}

void TForm1::ProcessEnded(qint64 handle) {
    if (handle != launchWatch_.process)
        return;
    if (launchWatch_.on)
        Guarded([this] { AppActive32(); });
    else if (Launching().captionCut != 4)
        launchWatch_.process = 0; // ended unwatched: a later shrink by hand is not undone by it
}

void TForm1::ShrinkForLaunch() { SmallSize(); }

void TForm1::HideForLaunch() {
    if (!TrayAvailable() || !HideToTray()) {
        // Nowhere to leave an icon: the bar shrinks instead, and the watch brings it back.
        if (!presentation_.shrunk)
            SmallSize();
        SetWatch(true);
        return;
    }
    SetWatch(true);
}

// ---- stay on top ----

void TForm1::TopButtonKey() {
    QAction *item = items_.setup.StayonTop1;
    const int menuHeight = platform_.system->MenuBarHeight();
    const int usable = platform_.system->UsableScreenWidth();
    if (presentation_.onTop.IsYesOrNo()) {
        const bool onTop = presentation_.onTop.IsNo();
        item->setChecked(onTop);
        presentation_.onTop = YesNoOption(onTop);
        BarGeometry g = ComputeBarGeometry(buttonsPerPage_, perPageMaximum_, menuHeight, usable, onTop);
        // The page area keeps the width start-up gave it.
        g.pageAreaWidth = geometry_.pageAreaWidth;
        g.scrollRange = geometry_.scrollRange;
        geometry_ = g;
        // A shrunk bar gets its expanded size where the gauge stood; the icon and the watch stay.
        SetWindowStyle(onTop, !presentation_.shrunk || !TrayIcon->Active());
        setFixedSize(g.ClientWidth(), g.clientHeight);
        presentation_.expandedSize = size();
        ApplyScrollRange();
        show();
        TellKeepAbove();
    } else {
        item->setChecked(windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }
    presentation_.shrunk = false;
    locationSavingSuppressed_ = false;
    setAcceptDrops(true);
    Ini().WriteString(QStringLiteral("Location"), QStringLiteral("OnTop"),
                      presentation_.onTop.ToWord());
}

void TForm1::StayonTop1Click() { TopButtonKey(); }

// ---- the options (each item has toggled its tick already when its handler runs) ----

// Shrink and hide on launch exclude each other: ticking one unticks the other. Both keys are
// written in one transaction, the clicked item's first.
void TForm1::LaunchOptionClick(QAction *item, YesNoOption &value, const QString &key,
                               QAction *otherItem, YesNoOption &otherValue, const QString &otherKey) {
    if (item->isChecked()) {
        otherItem->setChecked(false);
        value = YesNoOption(true);
        otherValue = YesNoOption(false);
    } else {
        value = YesNoOption(false);
    }
    TNewIniFile ini = Ini();
    SettingsTransaction transaction(ini);
    ini.WriteString(QStringLiteral("Location"), key, value.ToWord());
    ini.WriteString(QStringLiteral("Location"), otherKey, otherValue.ToWord());
    transaction.Commit();
}

void TForm1::ShrinkOnLaunch1Click() {
    LaunchOptionClick(items_.setup.ShrinkOnLaunch1, presentation_.shrinkOnLaunch,
                      QStringLiteral("Shrink"), items_.setup.HideGraph1, presentation_.hide,
                      QStringLiteral("Hide"));
}

void TForm1::HideGraph1Click() {
    LaunchOptionClick(items_.setup.HideGraph1, presentation_.hide, QStringLiteral("Hide"),
                      items_.setup.ShrinkOnLaunch1, presentation_.shrinkOnLaunch,
                      QStringLiteral("Shrink"));
}

void TForm1::AutoExpand1Click() {
    const bool autoExpand = items_.setup.AutoExpand1->isChecked();
    Ini().WriteString(QStringLiteral("Location"), QStringLiteral("AutoExpand"),
                      YesNoOption::Word(autoExpand));
}

void TForm1::LockGraphLocation1Click() {
    const bool locked = items_.setup.LockGraphLocation1->isChecked();
    if (locked)
        presentation_.lockedGaugeAt = FramePosition(); // where the shrink puts the gauge back
    TNewIniFile ini = Ini();
    SettingsTransaction transaction(ini);
    ini.WriteString(QStringLiteral("Location"), QStringLiteral("LockedGraph"),
                    YesNoOption::Word(locked));
    ini.WriteInteger(QStringLiteral("Location"), QStringLiteral("ShrinkX"),
                     presentation_.lockedGaugeAt.x());
    ini.WriteInteger(QStringLiteral("Location"), QStringLiteral("ShrinkY"),
                     presentation_.lockedGaugeAt.y());
    transaction.Commit();
}

void TForm1::ShrinkOnLaunch2Click() {
    const bool shrink = items_.button.ShrinkOnLaunch2->isChecked();
    if (QToolButton *button = FindButton(CurrentButton()))
        button->setProperty("Tag", shrink ? 1 : 0);
    Ini().WriteString(QStringLiteral("Shrink"), CurrentButton(), YesNoOption::Word(shrink));
    PostReload();
}
