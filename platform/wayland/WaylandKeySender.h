#pragma once
// Types key strings through a virtual keyboard of Kelvo's own
// (zwp_virtual_keyboard_v1), made once at start and kept for the whole run.
//
// The keyboard carries the user's keymap, the one the compositor gives this
// connection's seat keyboard (followed when it changes), with spare keys
// added for characters it lacks (SpareKeymap). Every character is looked up
// in it on every layout and level (KeymapIndex); the keys that set the
// level's modifiers are pressed around it, as a hardware keyboard would, and
// the compositor is told the modifiers and layout in force. Long strings go
// at up to a thousand keys a second, so that no client falls behind. With tracing on,
// every send is written to standard error (see SendTrace); keycodes there
// are the X11 ones (evdev + 8).


#include "platform/Platform.h"
#include "platform/SendTrace.h"
#include "platform/wayland/SeatKeymap.h"
#include "platform/xkb/SpareKeymap.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

namespace kelvo {

class WaylandConnection;

class WaylandKeySender final : public KeySender {
public:
    // Makes the virtual keyboard on the connection's seat and gives it the
    // user's keymap; reports a compositor without the virtual-keyboard
    // protocol or without a seat.
    static SenderOpening open(std::unique_ptr<WaylandConnection> connection, bool trace = false);

    // Releases any key still held and takes the keyboard away.
    ~WaylandKeySender() override;
    WaylandKeySender(const WaylandKeySender&) = delete;
    WaylandKeySender& operator=(const WaylandKeySender&) = delete;

    // The connection's file descriptor: readable when the compositor has
    // sent something (a new keymap), or has gone away.
    int fd() const;

    // Takes in what the compositor has sent, without waiting; false once
    // the connection is lost.
    bool readEvents();

    // True once the compositor has gone away (or cut the connection),
    // waiting up to `waitMs` milliseconds for it to be seen.
    bool compositorGone(int waitMs = 0) const;
    // "lost the connection to the Wayland compositor "NAME"", for messages.
    QString lostMessage() const;

protected:
    // With wait, returns once the compositor has processed every event of
    // the string (a round trip): they are then in the focused client's
    // queue, which says nothing of whether the client has handled them.
    SendResult sendActions(const std::vector<KeyAction>& actions, bool wait) override;

private:
    using Clock = std::chrono::steady_clock;

    WaylandKeySender(std::unique_ptr<WaylandConnection> connection, bool trace);

    QString start();
    QString prepare(const std::vector<KeyAction>& actions);
    void upload();
    void key(xkb_keycode_t code, bool down);
    void setModifiers(xkb_mod_mask_t mods, xkb_layout_index_t layout);
    void releaseAll();
    SendResult typeActions(const std::vector<KeyAction>& actions, bool wait);


    std::unique_ptr<WaylandConnection> connection_;
    std::unique_ptr<SeatKeymap> seat_;             // tells us the user's keymap
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;  // ours
    xkb_context* context_ = nullptr;
    std::unique_ptr<SpareKeymap> keymap_;
    std::string uploaded_;       // the text the compositor has for our keyboard
    // Clients that bind their keyboard only once the seat has one (ours
    // brought it) miss keys sent before then: none goes out earlier.
    Clock::time_point firstKeyAt_{};
    std::vector<xkb_keycode_t> down_; // keys we hold right now
    xkb_mod_mask_t mods_ = 0;         // the modifiers we told the compositor
    xkb_layout_index_t layout_ = 0;   // and the layout
    SendTrace trace_;
};

} // namespace kelvo
