#include "platform/linux/LinuxNotificationArea.h"

#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

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
    // Given before the icon is shown: hosts read the menu's path when the icon registers. Only
    // the D-Bus icon gives the menu a platform menu, to export; the XEmbed icon would pop it up
    // itself on the right button, beside the program's own menu, so it gets none.
    exported_ = std::make_unique<QMenu>();
    icon_->setContextMenu(exported_.get());
    if (exported_->platformMenu()) {
        // Hosts ask before they open it (AboutToShow), the moment its entries must be current.
        QObject::connect(exported_.get(), &QMenu::aboutToShow, [this] { MirrorMenu(); });
        MirrorMenu();
    } else {
        icon_->setContextMenu(nullptr);
        exported_.reset();
    }
    icon_->show();
    return true;
}

void LinuxNotificationArea::SetMenu(QMenu *menu) {
    menu_ = menu;
    MirrorMenu();
}

void LinuxNotificationArea::MirrorMenu() {
    if (!exported_)
        return;
    // The menu's own refreshers (ticks read anew) run as when it pops up on the screen.
    if (menu_)
        emit menu_->aboutToShow();
    const QList<QAction *> actions = menu_ ? menu_->actions() : QList<QAction *>();
    // Unchanged entries stay, so the host's open menu is not rebuilt; changed texts and ticks
    // reach the host through the actions themselves.
    if (exported_->actions() == actions)
        return;
    exported_->clear();
    exported_->addActions(actions);
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
    // The owner may delete the icon from inside its own mouse notification, and the menu from
    // inside the host's request.
    icon_.release()->deleteLater();
    if (exported_)
        exported_.release()->deleteLater();
    return true;
}

static xcb_atom_t Atom(xcb_connection_t *connection, const char *name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// The name the window manager gives itself (_NET_SUPPORTING_WM_CHECK); empty when it says none.
static QString WindowManagerName(xcb_connection_t *connection) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    auto windowProperty = [connection](xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        QByteArray value;
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, property, type, 0, 256), nullptr);
        if (reply) {
            value = QByteArray(static_cast<const char *>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
            free(reply);
        }
        return value;
    };
    const QByteArray check =
        windowProperty(root, Atom(connection, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
    if (check.size() != sizeof(xcb_window_t))
        return QLatin1String("");
    xcb_window_t manager = 0;
    memcpy(&manager, check.constData(), sizeof manager);
    return QString::fromUtf8(
        windowProperty(manager, Atom(connection, "_NET_WM_NAME"), Atom(connection, "UTF8_STRING")));
}

void LinuxNotificationArea::SetTaskbarButton(QWidget *window, bool shown) {
    SetWindowState(window, "_NET_WM_STATE_SKIP_TASKBAR", skipTaskbarAtom_, !shown);
}

void LinuxNotificationArea::SetKeepAbove(QWidget *window, bool above) {
    SetWindowState(window, "_NET_WM_STATE_ABOVE", aboveAtom_, above);
}

// mutter (GNOME's, also under XWayland) was seen to end when a window it had just been told of
// went: the window the toolkit makes anew when the on-top hint changed. There the state is set
// instead; other window managers keep the toolkit's way, which they are known to place right.
bool LinuxNotificationArea::KeepsAbove() const {
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return false;
    if (windowManager_.isNull())
        windowManager_ = WindowManagerName(x11->connection());
    return windowManager_ == QLatin1String("Mutter") ||
           windowManager_ == QLatin1String("GNOME Shell");
}

void LinuxNotificationArea::SetWindowState(QWidget *window, const char *atomName, quint32 &atom,
                                           bool on) {
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !window)
        return;
    xcb_connection_t *connection = x11->connection();
    window->winId(); // made if it was not yet
    const xcb_window_t id = xcb_window_t(window->windowHandle()->winId());
    // Asked once: the bar expands and shrinks without a round trip to the server for them.
    if (stateAtom_ == XCB_ATOM_NONE)
        stateAtom_ = Atom(connection, "_NET_WM_STATE");
    if (atom == XCB_ATOM_NONE)
        atom = Atom(connection, atomName);
    const xcb_atom_t state = stateAtom_, wanted = atom;
    if (state == XCB_ATOM_NONE || wanted == XCB_ATOM_NONE)
        return;
    // The widget is visible already while it is told it is shown; the native window is mapped
    // once that is over.
    if (window->windowHandle()->isVisible()) {
        // A mapped window's state belongs to the window manager: the bar asks it.
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = id;
        event.type = state;
        event.data.data32[0] = on ? 1 : 0; // add : remove
        event.data.data32[1] = wanted;
        event.data.data32[3] = 1; // a normal application
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
    } else {
        // An unmapped one carries the state in its property, which the window manager reads
        // when the window is mapped.
        xcb_get_property_cookie_t cookie = xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 64);
        xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, nullptr);
        QList<xcb_atom_t> atoms;
        if (reply) {
            const auto *values = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
            for (int i = 0; i < xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t)); ++i)
                if (values[i] != wanted)
                    atoms.append(values[i]);
            free(reply);
        }
        if (on)
            atoms.append(wanted);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                            uint32_t(atoms.size()), atoms.constData());
    }
    xcb_flush(connection);
}

void LinuxNotificationArea::ShowNormalWhenMapped(QWidget *window) {
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !window || !window->windowHandle())
        return;
    xcb_connection_t *connection = x11->connection();
    const xcb_window_t id = xcb_window_t(window->windowHandle()->winId());
    // WM_HINTS: flags, input, initial state, ...; the state counts when flag bit 1 is set.
    constexpr uint32_t kStateHint = 1u << 1, kNormalState = 1, kIconicState = 3;
    xcb_get_property_cookie_t cookie = xcb_get_property(connection, 0, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, 9);
    xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, nullptr);
    if (!reply)
        return;
    if (reply->format == 32 && xcb_get_property_value_length(reply) >= int(3 * sizeof(uint32_t))) {
        QList<uint32_t> hints(xcb_get_property_value_length(reply) / int(sizeof(uint32_t)));
        memcpy(hints.data(), xcb_get_property_value(reply), size_t(hints.size()) * sizeof(uint32_t));
        if ((hints[0] & kStateHint) && hints[2] == kIconicState) {
            hints[2] = kNormalState;
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
                                uint32_t(hints.size()), hints.constData());
            xcb_flush(connection);
        }
    }
    free(reply);
}
