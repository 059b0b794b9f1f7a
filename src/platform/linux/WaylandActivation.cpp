#include "platform/linux/WaylandActivation.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QWindow>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include "xdg-activation-v1-client-protocol.h"

namespace {
struct Binding {
    wl_registry *registry = nullptr;
    xdg_activation_v1 *activation = nullptr;
};

void OnGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
    auto *binding = static_cast<Binding *>(data);
    if (!binding->activation && std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
        binding->activation =
            static_cast<xdg_activation_v1 *>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}

void OnGlobalRemoved(void *, wl_registry *, uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemoved};

void OnSyncDone(void *data, wl_callback *, uint32_t) {
    *static_cast<bool *>(data) = true;
}

const wl_callback_listener kSyncListener = {OnSyncDone};

struct TokenAnswer {
    QByteArray token;
    bool done = false;
};

void OnTokenDone(void *data, xdg_activation_token_v1 *, const char *token) {
    auto *answer = static_cast<TokenAnswer *>(data);
    answer->token = QByteArray(token);
    answer->done = true;
}

const xdg_activation_token_v1_listener kTokenListener = {OnTokenDone};
} // namespace

WaylandActivation::WaylandActivation(wl_display *display, int timeoutMs) : display_(display) {
    if (!display_)
        return;
    queue_ = wl_display_create_queue(display_);
    // The registry and the sync callback are made on this queue through a wrapper of the
    // display, so that their events never reach the toolkit's queue (nor the reverse).
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display_));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), queue_);
    Binding binding;
    binding.registry = wl_display_get_registry(wrapper);
    wl_registry_add_listener(binding.registry, &kRegistryListener, &binding);
    bool synced = false;
    wl_callback *sync = wl_display_sync(wrapper);
    wl_callback_add_listener(sync, &kSyncListener, &synced);
    wl_proxy_wrapper_destroy(wrapper);
    DispatchUntil(synced, timeoutMs);
    wl_callback_destroy(sync);
    wl_registry_destroy(binding.registry);
    if (!synced && binding.activation) { // bound, but the compositor is too slow to use
        xdg_activation_v1_destroy(binding.activation);
        binding.activation = nullptr;
    }
    activation_ = binding.activation;
}

WaylandActivation::~WaylandActivation() {
    if (activation_)
        xdg_activation_v1_destroy(activation_);
    if (queue_) {
        wl_display_flush(display_);
        wl_event_queue_destroy(queue_);
    }
    if (ownsDisplay_)
        wl_display_disconnect(display_);
}

std::unique_ptr<WaylandActivation> WaylandActivation::ForApplication() {
    if (!qGuiApp)
        return nullptr;
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
        auto *display =
            native ? static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display"))
                   : nullptr;
        if (!display)
            return nullptr;
        auto activation = std::make_unique<WaylandActivation>(display);
        return activation->Available() ? std::move(activation) : nullptr;
    }
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    auto activation = std::make_unique<WaylandActivation>(display);
    activation->ownsDisplay_ = true; // disconnected with it, whatever Available() says
    return activation->Available() ? std::move(activation) : nullptr;
}

WaylandActivation::Origin WaylandActivation::ApplicationOrigin() {
    Origin origin;
    QPlatformNativeInterface *native = qGuiApp ? QGuiApplication::platformNativeInterface() : nullptr;
    if (!native)
        return origin;
    QWindow *window = QGuiApplication::focusWindow();
    if (!window) {
        for (QWindow *shown : QGuiApplication::topLevelWindows()) {
            if (shown->isVisible() && shown->handle()) {
                window = shown;
                break;
            }
        }
    }
    if (window && window->handle())
        origin.surface = static_cast<wl_surface *>(native->nativeResourceForWindow("surface", window));
    origin.seat = static_cast<wl_seat *>(native->nativeResourceForIntegration("wl_seat"));
    origin.serial = uint32_t(reinterpret_cast<quintptr>(native->nativeResourceForIntegration("serial")));
    return origin;
}

QByteArray WaylandActivation::RequestToken(const QString &appId, const Origin &origin, int timeoutMs) {
    if (!activation_)
        return {};
    TokenAnswer answer;
    xdg_activation_token_v1 *token = xdg_activation_v1_get_activation_token(activation_);
    xdg_activation_token_v1_add_listener(token, &kTokenListener, &answer);
    if (origin.seat && origin.serial)
        xdg_activation_token_v1_set_serial(token, origin.serial, origin.seat);
    if (origin.surface)
        xdg_activation_token_v1_set_surface(token, origin.surface);
    if (!appId.isEmpty())
        xdg_activation_token_v1_set_app_id(token, appId.toUtf8().constData());
    xdg_activation_token_v1_commit(token);
    DispatchUntil(answer.done, timeoutMs);
    // A late answer goes to a destroyed object and is dropped: it never reaches another start.
    xdg_activation_token_v1_destroy(token);
    wl_display_flush(display_);
    return answer.done ? answer.token : QByteArray();
}

// Reads the connection together with any other thread that reads it (the toolkit's): whichever
// reader comes last reads for all, and each dispatches only its own queue.
bool WaylandActivation::DispatchUntil(const bool &done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done) {
        if (wl_display_dispatch_queue_pending(display_, queue_) < 0)
            return false;
        if (done)
            break;
        if (wl_display_prepare_read_queue(display_, queue_) != 0)
            continue; // events came in meanwhile: dispatch them first
        wl_display_flush(display_);
        pollfd readable{wl_display_get_fd(display_), POLLIN, 0};
        const int remaining = int(deadline.remainingTime());
        const int ready = remaining > 0 ? ::poll(&readable, 1, remaining) : 0;
        if (ready > 0) {
            if (wl_display_read_events(display_) < 0)
                return false;
        } else {
            wl_display_cancel_read(display_);
            if (ready < 0 && errno != EINTR)
                return false;
            if (deadline.hasExpired())
                return false;
        }
    }
    return true;
}
