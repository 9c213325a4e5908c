#pragma once
// Objects of our own on Qt's Wayland connection, in an event queue of our
// own: Qt's dispatching never calls our listeners behind our back, nor we
// Qt's. For what must share the connection of our windows' surfaces.

#include <cstdint>
#include <functional>
#include <optional>

struct wl_display;
struct wl_event_queue;
struct wl_registry;

namespace kelvo {

struct QtWaylandQueue {
    wl_display* display; // Qt's
    wl_event_queue* queue; // ours, to be destroyed by whoever holds it
};

// Qt's connection and a new queue on it; empty where Qt does not run on
// Wayland. `offered` is called with each global the compositor offers (one
// round trip), for the caller to bind what it wants on the queue.
std::optional<QtWaylandQueue> openQtWaylandQueue(
    const std::function<void(wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version)>&
        offered);

} // namespace kelvo
