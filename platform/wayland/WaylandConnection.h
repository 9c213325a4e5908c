#pragma once
// A connection of Kelvo's own to the Wayland compositor, with the globals it
// offers. Kept apart from the toolkit's connection so that programs without
// windows (kelvo-sendkeys) can type through it too.

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct wl_display;
struct wl_interface;
struct wl_registry;

namespace kelvo {

class WaylandConnection {
public:
    // One global object the compositor offers.
    struct Global {
        std::uint32_t name;
        std::string interface;
        std::uint32_t version;
    };

    // Connects to the compositor WAYLAND_DISPLAY names and lists its globals
    // (one round trip); null, with `error` saying why, when it cannot.
    static std::unique_ptr<WaylandConnection> open(QString* error);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }

    // The socket's name as WAYLAND_DISPLAY gave it, for messages.
    const QString& name() const { return name_; }

    // The global of `interface`, or null when the compositor offers none.
    const Global* find(const char* interface) const;

    // Binds the first global of `interface` at its version or `version`,
    // whichever is lower; null when it is not offered.
    void* bind(const wl_interface* interface, std::uint32_t version) const;

    // True once the compositor has gone away or refused a request: nothing
    // more can be sent on this connection.
    bool broken() const;

private:
    WaylandConnection(wl_display* display, QString name);

    static void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                         std::uint32_t version);
    static void onGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    QString name_;
    std::vector<Global> globals_;
};

} // namespace kelvo
