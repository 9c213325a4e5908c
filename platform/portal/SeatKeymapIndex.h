#pragma once
// The seat's keymap, indexed, kept up to date over a Wayland connection of
// our own: what the portal sender checks every key against.

#include <chrono>
#include <memory>
#include <optional>

struct xkb_context;

namespace kelvo {

class KeymapIndex;
class SeatKeymap;
class WaylandConnection;

class SeatKeymapIndex {
public:
    // Listens to the seat's keyboard on `connection`.
    explicit SeatKeymapIndex(std::unique_ptr<WaylandConnection> connection);
    ~SeatKeymapIndex();
    SeatKeymapIndex(const SeatKeymapIndex&) = delete;
    SeatKeymapIndex& operator=(const SeatKeymapIndex&) = delete;

    // The keymap as the compositor last sent it, after reading what it has
    // sent since; null while the seat has had no keyboard or the
    // connection is lost.
    const KeymapIndex* current();

    // When this connection first saw the seat with a keyboard, waiting
    // until `deadline` for one; empty when none came. (A headless desktop's
    // seat gets its keyboard with the first remote-desktop key, and the
    // programs on it listen to that keyboard only once they have seen it.)
    std::optional<std::chrono::steady_clock::time_point> keyboardSince(std::chrono::steady_clock::time_point deadline);

private:
    std::unique_ptr<WaylandConnection> connection_;
    std::unique_ptr<SeatKeymap> seat_;
    xkb_context* context_;
    std::unique_ptr<KeymapIndex> index_;
    std::optional<std::chrono::steady_clock::time_point> keyboardSeen_;
};

} // namespace kelvo
