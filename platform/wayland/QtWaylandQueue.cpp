#include "platform/wayland/QtWaylandQueue.h"

#include "platform/QtNative.h"

#include <wayland-client.h>

namespace kelvo {

using Offered = std::function<void(wl_registry*, std::uint32_t, const char*, std::uint32_t)>;

std::optional<QtWaylandQueue> openQtWaylandQueue(const Offered& offered)
{
    wl_display* display = qtnative::waylandDisplay();
    if (!display)
        return std::nullopt;
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue);
    wl_registry* registry = wl_display_get_registry(wrapped);
    wl_proxy_wrapper_destroy(wrapped);
    static const wl_registry_listener listener = {
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
            (*static_cast<const Offered*>(data))(registry, name, interface, version);
        },
        [](void*, wl_registry*, std::uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, const_cast<Offered*>(&offered));
    wl_display_roundtrip_queue(display, queue);
    wl_registry_destroy(registry);
    return QtWaylandQueue{display, queue};
}

} // namespace kelvo
