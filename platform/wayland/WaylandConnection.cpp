#include "platform/wayland/WaylandConnection.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace kelvo {

std::unique_ptr<WaylandConnection> WaylandConnection::open(QString* error)
{
    QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (name.isEmpty())
        name = QStringLiteral("wayland-0");
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        *error = QStringLiteral("cannot connect to the Wayland compositor \"%1\"").arg(name);
        return nullptr;
    }
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display, name));
    static const wl_registry_listener listener = {onGlobal, onGlobalRemove};
    connection->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(connection->registry_, &listener, connection.get());
    if (wl_display_roundtrip(display) < 0) {
        *error = QStringLiteral("the Wayland compositor \"%1\" did not answer").arg(name);
        return nullptr;
    }
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display, QString name)
    : display_(display)
    , name_(std::move(name))
{
}

WaylandConnection::~WaylandConnection()
{
    if (registry_)
        wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void WaylandConnection::onGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
                                 std::uint32_t version)
{
    static_cast<WaylandConnection*>(data)->globals_.push_back({name, interface, version});
}

void WaylandConnection::onGlobalRemove(void* data, wl_registry*, std::uint32_t name)
{
    std::erase_if(static_cast<WaylandConnection*>(data)->globals_,
                  [name](const Global& global) { return global.name == name; });
}

const WaylandConnection::Global* WaylandConnection::find(const char* interface) const
{
    const auto found = std::find_if(globals_.begin(), globals_.end(),
                                    [interface](const Global& g) { return g.interface == interface; });
    return found == globals_.end() ? nullptr : &*found;
}

void* WaylandConnection::bind(const wl_interface* interface, std::uint32_t version) const
{
    const Global* global = find(interface->name);
    if (!global)
        return nullptr;
    return wl_registry_bind(registry_, global->name, interface, std::min(version, global->version));
}

bool WaylandConnection::broken() const
{
    return wl_display_get_error(display_) != 0;
}

} // namespace kelvo
