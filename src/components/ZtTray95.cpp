#include "components/ZtTray95.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QSessionManager>
#include <QWidget>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {

// The tip field of a notification-area icon holds 63 characters.
constexpr int kMaxTip = 63;
// A period longer than any item's interval, for the search of the shortest one.
constexpr int kNoPeriod = 100001;

qint64 MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

// The program's icons live in the core library's resources; a static library's resources must be
// pulled in by name, or the linker leaves them out.
static void InitIconResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(orvane);
        return true;
    }();
    Q_UNUSED(done);
}

// ---- the shared timer ----

TZtTimerItem::TZtTimerItem(TZtTimerManager *manager, bool enabled, int interval, TCallback callback)
    : manager_(manager), enabled_(enabled), interval_(interval), callback_(std::move(callback)) {}

void TZtTimerItem::setEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    manager_->Recalculate();
}

void TZtTimerItem::setInterval(int interval) {
    if (interval == interval_)
        return;
    interval_ = interval;
    if (enabled_)
        manager_->Recalculate();
}

TZtTimerManager::TZtTimerManager(QObject *owner) : QObject(owner), Now(MonotonicMs) {
    // The click delay and the exit poll need their intervals, not 5 % less.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TZtTimerManager::Tick);
}

TZtTimerManager::~TZtTimerManager() {
    timer_.stop();
}

TZtTimerItem *TZtTimerManager::AddTimer(bool enabled, int interval,
                                        TZtTimerItem::TCallback callback) {
    items_.push_back(std::make_unique<TZtTimerItem>(this, enabled, interval, std::move(callback)));
    Recalculate();
    return items_.back().get();
}

void TZtTimerManager::setEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled_)
        Recalculate();
    else
        timer_.stop();
}

void TZtTimerManager::Recalculate() {
    if (!enabled_)
        return;
    timer_.stop();
    int period = kNoPeriod;
    bool any = false;
    const qint64 now = Now();
    for (const auto &item : items_) {
        if (!item->enabled_)
            continue;
        item->lastFired_ = now;
        period = std::min(period, item->interval_);
        any = true;
    }
    timer_.setInterval(period);
    if (any)
        timer_.start();
}

void TZtTimerManager::Tick() {
    // By index: a callback may add items or recalculate.
    for (size_t i = 0; i < items_.size(); ++i) {
        TZtTimerItem *item = items_[i].get();
        if (!item->enabled_ || !item->callback_ || Now() - item->lastFired_ < item->interval_)
            continue;
        item->callback_(item);
        item->lastFired_ = Now();
    }
}

// ---- the animation ----

TZtTrayIconAnimation::TZtTrayIconAnimation(TZtTrayIcon95 *owner, TZtTimerManager &timers)
    : owner_(owner), timerItem_(timers.AddTimer(false, 1000, [this](TZtTimerItem *) { Step(); })) {}

bool TZtTrayIconAnimation::Running() const {
    return owner_->State() == TZtTrayIcon95::tsAnimated && owner_->Active();
}

void TZtTrayIconAnimation::setInterval(int interval) {
    if (interval == interval_)
        return;
    interval_ = interval;
    if (Running())
        Start();
}

void TZtTrayIconAnimation::setIcons(const QStringList &icons) {
    icons_ = icons;
    if (Running())
        nextFrame_ = 0;
}

void TZtTrayIconAnimation::Start() {
    Stop();
    nextFrame_ = 0;
    Step();
    if (owner_->State() == TZtTrayIcon95::tsAnimated) {
        timerItem_->setInterval(interval_);
        timerItem_->setEnabled(true);
    }
}

void TZtTrayIconAnimation::Step() {
    if (owner_->OnAnimation)
        owner_->OnAnimation(owner_);
    owner_->RefreshIcon();
    ++nextFrame_;
    if (nextFrame_ >= icons_.size())
        nextFrame_ = 0;
}

void TZtTrayIconAnimation::Stop() {
    timerItem_->setEnabled(false);
}

void TZtTrayIconAnimation::LoadFrame(int k, QIcon &icon) const {
    if (k < 0 || k >= icons_.size())
        return;
    if (options_ == aoIconsAreFiles) {
        icon = QIcon(icons_.at(k));
    } else {
        InitIconResources();
        icon = QIcon(QStringLiteral(":/") + icons_.at(k));
    }
}

// ---- mouse messages ----

TZtTrayIconMsgWindow::TZtTrayIconMsgWindow(TZtTrayIcon95 *owner, TZtTimerManager &timers)
    : owner_(owner),
      clickItem_(timers.AddTimer(false, ClickDelay, [this](TZtTimerItem *) { FireClick(); })),
      exitItem_(timers.AddTimer(false, ExitPoll, [this](TZtTimerItem *) { CheckExit(); })) {}

void TZtTrayIconMsgWindow::Mouse(TrayMouse message) {
    switch (message) {
    case TrayMouse::Move:
        lastPos_ = owner_->CursorPos();
        if (owner_->OnMouseMove && inside_ && !clickItem_->Enabled())
            owner_->OnMouseMove(owner_, TZtTrayIcon95::CurrentShiftState(), lastPos_.x(),
                                lastPos_.y());
        if ((owner_->OnMouseEnter || owner_->OnMouseExit) && !inside_) {
            inside_ = true;
            if (owner_->OnMouseEnter)
                owner_->OnMouseEnter(owner_, TZtTrayIcon95::CurrentShiftState(), lastPos_.x(),
                                     lastPos_.y());
            exitItem_->setEnabled(true);
        }
        break;
    case TrayMouse::LeftDown:
    case TrayMouse::RightDown:
        lastButton_ = message == TrayMouse::LeftDown ? Qt::LeftButton : Qt::RightButton;
        if (lastButton_ == Qt::RightButton && owner_->AutoPopup() && owner_->PopupMenu()) {
            PopUp();
        } else if (owner_->OnDblClick) {
            // The click waits to see whether a double click follows.
            doubleClick_ = false;
            clickItem_->setEnabled(true);
        } else {
            FireClick();
        }
        break;
    case TrayMouse::LeftDouble:
        doubleClick_ = true;
        FireClick();
        break;
    default: // button releases
        break;
    }
}

void TZtTrayIconMsgWindow::FireClick() {
    clickItem_->setEnabled(false);
    if (doubleClick_) {
        if (owner_->OnDblClick)
            owner_->OnDblClick(owner_);
    } else if (owner_->OnClick) {
        owner_->OnClick(owner_);
    }
}

void TZtTrayIconMsgWindow::CheckExit() {
    // While the pointer rests on the icon the area keeps reporting moves, which keep lastPos_
    // within reach; a pointer further away has left.
    const QPoint pos = owner_->CursorPos();
    if (std::abs(pos.x() - lastPos_.x()) <= 2 && std::abs(pos.y() - lastPos_.y()) <= 2)
        return;
    inside_ = false;
    // Stopped before the handler runs, so a failing handler does not report the exit again.
    exitItem_->setEnabled(false);
    try {
        if (owner_->OnMouseExit)
            owner_->OnMouseExit(owner_, TZtTrayIcon95::CurrentShiftState(), pos.x(), pos.y());
    } catch (...) {
        // A poll has nobody to report to.
    }
}

void TZtTrayIconMsgWindow::PopUp() {
    const QPoint at = owner_->CursorPos();
    // The menu closes properly only when our window is the active one.
    owner_->Form()->activateWindow();
    owner_->PopupHandler(owner_->PopupMenu(), at);
}

void TZtTrayIconMsgWindow::EndSession(bool ending) {
    if (ending)
        owner_->Hide();
}

// ---- the tray icon ----

QWidget *TZtTrayIcon95::CheckedForm(QObject *owner) {
    auto *form = qobject_cast<QWidget *>(owner);
    if (!form || !form->isWindow())
        throw EInvalidOperation("TrayIcons must be owned by a Form !");
    return form;
}

TZtTrayIcon95::TZtTrayIcon95(QObject *owner, INotificationArea *area)
    : QObject(CheckedForm(owner)), CursorPos([] { return QCursor::pos(); }),
      PopupHandler([](QMenu *menu, const QPoint &at) { menu->popup(at); }), area_(area) {
    timers_.setEnabled(true);
    msgWindow_ = std::make_unique<TZtTrayIconMsgWindow>(this, timers_);
    animation_.reset(new TZtTrayIconAnimation(this, timers_));
    if (area_)
        area_->OnMouse = [this](TrayMouse message) { msgWindow_->Mouse(message); };
    if (qGuiApp)
        connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager &) { msgWindow_->EndSession(true); });
    Form()->installEventFilter(this);
}

TZtTrayIcon95::~TZtTrayIcon95() {
    timers_.setEnabled(false);
    Hide();
    if (area_) {
        area_->OnMouse = nullptr;
        area_->SetMenu(nullptr);
    }
}

QWidget *TZtTrayIcon95::Form() const {
    return static_cast<QWidget *>(parent());
}

QMenu *TZtTrayIcon95::PopupMenu() const {
    return popupMenu_;
}

void TZtTrayIcon95::setPopupMenu(QMenu *menu) {
    popupMenu_ = menu;
    GiveAreaMenu();
}

void TZtTrayIcon95::setAutoPopup(bool autoPopup) {
    autoPopup_ = autoPopup;
    GiveAreaMenu();
}

void TZtTrayIcon95::GiveAreaMenu() {
    if (area_)
        area_->SetMenu(autoPopup_ ? popupMenu_.data() : nullptr);
}

void TZtTrayIcon95::setIcon(const QIcon &icon) {
    icon_ = icon;
    RefreshIcon();
}

void TZtTrayIcon95::setDisabledIcon(const QIcon &icon) {
    disabledIcon_ = icon;
    RefreshIcon();
}

void TZtTrayIcon95::setActive(bool active) {
    if (active)
        Show();
    else
        Hide();
}

void TZtTrayIcon95::setHint(const QString &hint) {
    if (hint == hint_)
        return;
    hint_ = hint;
    if (showHint_)
        setShowHint(true);
}

void TZtTrayIcon95::setShowHint(bool showHint) {
    showHint_ = showHint;
    tip_ = showHint ? hint_.left(kMaxTip) : QString();
    // Never half a character: a pair cut apart is not text.
    if (tip_.size() == kMaxTip && tip_.back().isHighSurrogate())
        tip_.chop(1);
    if (active_)
        area_->Modify(current_, tip_);
}

void TZtTrayIcon95::setState(TZtTrayIconState state) {
    if (inStateChanging_)
        throw EInvalidOperation(
            "You cannot modify the state property in the OnStateChanging event !!!");
    if (!active_) {
        state_ = state;
        return;
    }
    if (state == state_)
        return;
    if (OnStateChanging) {
        // Armed for as long as the handler runs, however it ends.
        struct Guard {
            bool &flag;
            ~Guard() { flag = false; }
        } guard{inStateChanging_};
        inStateChanging_ = true;
        OnStateChanging(this, state);
    }
    if (state == state_)
        return;
    if (state_ == tsAnimated)
        animation_->Stop();
    state_ = state;
    RefreshIcon();
    if (state_ == tsAnimated)
        animation_->Start();
}

void TZtTrayIcon95::Show() {
    if (active_ || !area_)
        return;
    RefreshIcon();
    // Active only once the area holds the icon: the owner relies on knowing it is there.
    active_ = area_->Add(current_, tip_);
    if (active_ && state_ == tsAnimated)
        animation_->Start();
}

void TZtTrayIcon95::Hide() {
    if (!active_)
        return;
    active_ = false;
    if (state_ == tsAnimated)
        animation_->Stop();
    area_->Delete();
}

void TZtTrayIcon95::RefreshIcon() {
    switch (state_) {
    case tsEnabled:
        current_ = icon_;
        break;
    case tsDisabled:
        current_ = disabledIcon_;
        break;
    case tsAnimated:
        animation_->LoadFrame(animation_->NextFrame(), current_);
        break;
    }
    if (active_)
        area_->Modify(current_, tip_);
}

void TZtTrayIcon95::MinimizeApplication() {
    LockDesktopUpdate(true);
    Form()->hide();
    LockDesktopUpdate(false);
}

void TZtTrayIcon95::RestoreApplication() {
    LockDesktopUpdate(true);
    QWidget *form = Form();
    if (form->windowState() & Qt::WindowMinimized)
        form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
    if (!form->isVisible())
        form->show();
    LockDesktopUpdate(false);
}

void TZtTrayIcon95::LockDesktopUpdate(bool) {}

void TZtTrayIcon95::ApplicationMinimized() {
    if (active_ && options_.testFlag(toMinimizeToTray))
        MinimizeApplication();
    if (OnAppMinimize)
        OnAppMinimize(this);
}

void TZtTrayIcon95::ApplicationRestored() {
    if (active_)
        RestoreApplication();
    if (OnAppRestore)
        OnAppRestore(this);
}

void TZtTrayIcon95::WatchOwnerWindow(bool watch) {
    watchOwner_ = watch;
}

bool TZtTrayIcon95::eventFilter(QObject *watched, QEvent *event) {
    if (watchOwner_ && watched == Form() && event->type() == QEvent::WindowStateChange) {
        const bool was =
            static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized;
        const bool is = Form()->windowState() & Qt::WindowMinimized;
        // After the event: the window is still being shown or changed while it is delivered.
        if (is && !was)
            QMetaObject::invokeMethod(this, &TZtTrayIcon95::ApplicationMinimized,
                                      Qt::QueuedConnection);
        else if (was && !is)
            QMetaObject::invokeMethod(this, &TZtTrayIcon95::ApplicationRestored,
                                      Qt::QueuedConnection);
    }
    return false;
}

TZtTrayIcon95::TShiftState TZtTrayIcon95::CurrentShiftState() {
    TShiftState shift;
    const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    if (keys & Qt::ShiftModifier)
        shift |= ssShift;
    if (keys & Qt::AltModifier)
        shift |= ssAlt;
    if (keys & Qt::ControlModifier)
        shift |= ssCtrl;
    if (buttons & Qt::LeftButton)
        shift |= ssLeft;
    if (buttons & Qt::RightButton)
        shift |= ssRight;
    if (buttons & Qt::MiddleButton)
        shift |= ssMiddle;
    return shift;
}
