#include "platform/portal/SeatKeymapIndex.h"

#include "platform/wayland/SeatKeymap.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/xkb/KeymapIndex.h"

#include <wayland-client.h>

#include <algorithm>

#include <poll.h>

namespace kelvo {

SeatKeymapIndex::SeatKeymapIndex(std::unique_ptr<WaylandConnection> connection)
    : connection_(std::move(connection)),
      seat_(std::make_unique<SeatKeymap>(*connection_)),
      context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
{
    // The seat's capabilities, then its keyboard's keymap.
    wl_display_roundtrip(connection_->display());
    wl_display_roundtrip(connection_->display());
    current();
}

SeatKeymapIndex::~SeatKeymapIndex()
{
    index_.reset();
    seat_.reset();
    if (context_)
        xkb_context_unref(context_);
}

const KeymapIndex* SeatKeymapIndex::current()
{
    wl_display* display = connection_->display();
    if (connection_->broken() || !context_)
        return nullptr;
    // What the compositor has sent since, without waiting for more; a
    // keyboard just added to the seat sends its keymap after one more trip.
    const bool hadKeyboard = seat_->hasKeyboard();
    if (wl_display_prepare_read(display) == 0) {
        wl_display_flush(display);
        pollfd ready{wl_display_get_fd(display), POLLIN, 0};
        if (poll(&ready, 1, 0) > 0)
            wl_display_read_events(display);
        else
            wl_display_cancel_read(display);
    }
    wl_display_dispatch_pending(display);
    if (!hadKeyboard && seat_->hasKeyboard())
        wl_display_roundtrip(display);
    if (seat_->hasKeyboard() && !keyboardSeen_)
        keyboardSeen_ = std::chrono::steady_clock::now();
    if (seat_->takeNew()) {
        xkb_keymap* keymap = xkb_keymap_new_from_string(context_, seat_->text().c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                        XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (keymap) {
            index_ = std::make_unique<KeymapIndex>(keymap);
            xkb_keymap_unref(keymap);
        }
    }
    // Until the seat has a keyboard (a headless desktop gets one with the
    // first remote-desktop event): the layout the environment names, else
    // xkbcommon's default.
    if (!index_) {
        if (xkb_keymap* keymap = xkb_keymap_new_from_names(context_, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS)) {
            index_ = std::make_unique<KeymapIndex>(keymap);
            xkb_keymap_unref(keymap);
        }
    }
    return index_.get();
}

std::optional<std::chrono::steady_clock::time_point>
SeatKeymapIndex::keyboardSince(std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    for (;;) {
        current();
        if (keyboardSeen_ || connection_->broken())
            return keyboardSeen_;
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0)
            return std::nullopt;
        // Woken by what the compositor sends, or at the deadline.
        pollfd ready{wl_display_get_fd(connection_->display()), POLLIN, 0};
        poll(&ready, 1, int(std::min<long long>(left, 50)));
    }
}

} // namespace kelvo
