#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

struct wl_display;
struct wl_event_queue;
struct wl_seat;
struct wl_surface;
struct xdg_activation_v1;

// Activation tokens (xdg-activation-v1) for the programs the bar starts on a Wayland session.
// The compositor hands out a token for the bar's surface and the input event that asked for the
// start; the program presents it with its first window (it finds it in XDG_ACTIVATION_TOKEN), so
// the compositor lets that window have the focus and knows which start it ends.
//
// Everything goes over a queue of its own on the connection it is given, so it never dispatches
// the toolkit's events, and every wait for the compositor is bounded: a compositor that does not
// answer in time costs that time once and the start goes on without a token.
class WaylandActivation {
public:
    // Over a connection it does not own; Available() tells whether the compositor offers
    // xdg_activation_v1 (asked with one bounded round trip).
    explicit WaylandActivation(wl_display *display, int timeoutMs = kTimeoutMs);
    ~WaylandActivation();
    WaylandActivation(const WaylandActivation &) = delete;
    WaylandActivation &operator=(const WaylandActivation &) = delete;

    // Over the bar's own connection when it runs on Wayland; when it runs through XWayland, over
    // a connection of its own to the session's compositor (WAYLAND_DISPLAY), so that Wayland
    // programs it starts still get their tokens. Null without a Wayland session, or when the
    // compositor does not offer activation.
    static std::unique_ptr<WaylandActivation> ForApplication();

    bool Available() const { return activation_ != nullptr; }

    // Where a start was asked for: the surface clicked and the input event (its seat and
    // serial). Each is left out of the request when unknown.
    struct Origin {
        wl_surface *surface = nullptr;
        wl_seat *seat = nullptr;
        uint32_t serial = 0;
    };
    // The bar's origin as the toolkit knows it now: its focused (or first shown) window's
    // surface, and the latest input event where the toolkit tells it.
    static Origin ApplicationOrigin();
    // The origin to ask with: the application's, when this goes over the toolkit's connection;
    // none over a connection of its own, where the toolkit's objects do not exist.
    Origin CurrentOrigin() const { return ownsDisplay_ ? Origin{} : ApplicationOrigin(); }

    // A token for the start of the program with this app id; empty without activation, or when
    // the compositor's answer does not come within timeoutMs.
    QByteArray RequestToken(const QString &appId, const Origin &origin, int timeoutMs = kTimeoutMs);

    // Long enough for any compositor that is not stuck (a round trip takes well under a
    // millisecond), short enough that a click on a stuck one still feels like a click.
    static constexpr int kTimeoutMs = 150;

private:
    // Dispatches this queue's events until *done or the time is up; false on time out or a
    // broken connection.
    bool DispatchUntil(const bool &done, int timeoutMs);

    wl_display *display_ = nullptr;
    bool ownsDisplay_ = false;
    wl_event_queue *queue_ = nullptr;
    xdg_activation_v1 *activation_ = nullptr;
};
