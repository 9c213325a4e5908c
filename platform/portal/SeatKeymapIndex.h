#pragma once
// The seat's keymap, indexed, kept up to date over a Wayland connection of
// our own: what the portal sender checks every key against.

#include <memory>

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

private:
    std::unique_ptr<WaylandConnection> connection_;
    std::unique_ptr<SeatKeymap> seat_;
    xkb_context* context_;
    std::unique_ptr<KeymapIndex> index_;
};

} // namespace kelvo
