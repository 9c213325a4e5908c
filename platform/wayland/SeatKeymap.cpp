#include "platform/wayland/SeatKeymap.h"

#include "platform/wayland/WaylandConnection.h"

#include <wayland-client.h>

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace kelvo {

SeatKeymap::SeatKeymap(WaylandConnection& connection, std::function<bool(const std::string&)> ignore)
    : ignore_(std::move(ignore))
{
    static const wl_seat_listener listener = {onCapabilities, [](void*, wl_seat*, const char*) {}};
    seat_ = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 5));
    if (seat_)
        wl_seat_add_listener(seat_, &listener, this);
}

SeatKeymap::~SeatKeymap()
{
    if (keyboard_)
        wl_keyboard_destroy(keyboard_);
    if (seat_)
        wl_seat_destroy(seat_);
}

bool SeatKeymap::takeNew()
{
    const bool was = new_;
    new_ = false;
    return was;
}

void SeatKeymap::onCapabilities(void* data, wl_seat* seat, std::uint32_t capabilities)
{
    auto* self = static_cast<SeatKeymap*>(data);
    self->hasKeyboard_ = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    if (self->hasKeyboard_ && !self->keyboard_) {
        // Only its keymap matters: this connection has no surface to focus.
        static const wl_keyboard_listener listener = {
            onKeymap,
            [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {},
            [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},
            [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
            [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
            [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},
        };
        self->keyboard_ = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(self->keyboard_, &listener, self);
    } else if (!self->hasKeyboard_ && self->keyboard_) {
        wl_keyboard_destroy(self->keyboard_);
        self->keyboard_ = nullptr;
    }
}

void SeatKeymap::onKeymap(void* data, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size)
{
    auto* self = static_cast<SeatKeymap*>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            const char* text = static_cast<const char*>(map);
            std::string keymap(text, strnlen(text, size));
            munmap(map, size);
            if (!(self->ignore_ && self->ignore_(keymap)) && keymap != self->text_) {
                self->text_ = std::move(keymap);
                self->new_ = true;
            }
        }
    }
    close(fd);
}

} // namespace kelvo
