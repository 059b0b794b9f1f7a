// A pointer for a headless wlroots compositor's seat. A seat without input devices offers its
// clients no pointer, so they never hear of the clicks the compositor's own IPC makes
// (`swaymsg seat - cursor press button3`). This program adds a virtual pointer device
// (zwlr_virtual_pointer_v1) to the seat and keeps it there until its standard input closes; the
// compositor moves and clicks the seat's cursor itself. It prints "ready" once the device is in.

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <wayland-client.h>

namespace {
// The two interfaces as the protocol defines them; only their names, versions and requests'
// signatures matter to the client library. Of the pointer's requests only "destroy" (the last)
// is sent.
const wl_message kPointerRequests[] = {
    {"motion", "uff", nullptr},   {"motion_absolute", "uuuuu", nullptr},
    {"button", "uuu", nullptr},   {"axis", "uuf", nullptr},
    {"frame", "", nullptr},       {"axis_source", "u", nullptr},
    {"axis_stop", "uu", nullptr}, {"axis_discrete", "uufi", nullptr},
    {"destroy", "", nullptr},
};
constexpr uint32_t kPointerDestroy = 8;
const wl_interface kPointer = {"zwlr_virtual_pointer_v1", 1, 9, kPointerRequests, 0, nullptr};

const wl_interface *kCreateTypes[] = {&wl_seat_interface, &kPointer};
const wl_message kManagerRequests[] = {{"create_virtual_pointer", "?on", kCreateTypes}};
constexpr uint32_t kManagerCreate = 0;
const wl_interface kManager = {
    "zwlr_virtual_pointer_manager_v1", 1, 1, kManagerRequests, 0, nullptr};

void Global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
    if (std::strcmp(interface, kManager.name) == 0)
        *static_cast<wl_proxy **>(data) =
            static_cast<wl_proxy *>(wl_registry_bind(registry, name, &kManager, 1));
}
void GlobalRemove(void *, wl_registry *, uint32_t) {}
const wl_registry_listener kRegistryListener = {Global, GlobalRemove};
} // namespace

int main() {
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "cannot connect to the Wayland display\n");
        return 1;
    }
    wl_proxy *manager = nullptr;
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, &manager);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fprintf(stderr, "the compositor offers no %s\n", kManager.name);
        return 1;
    }
    // No seat named: the compositor's default one.
    wl_proxy *pointer =
        wl_proxy_marshal_constructor(manager, kManagerCreate, &kPointer, nullptr, nullptr);
    if (wl_display_roundtrip(display) < 0) {
        std::fprintf(stderr, "the compositor refused the pointer\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char buffer[256];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    wl_proxy_marshal(pointer, kPointerDestroy);
    wl_proxy_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
