#pragma once
// Types key strings through a keyboard device of Kelvo's own, made once at
// start and kept for the whole run: a virtual keyboard
// (zwp_virtual_keyboard_v1, wlroots compositors) or, on KWin, its fake input
// (org_kde_kwin_fake_input).
//
// Every character is looked up on every layout and level (KeymapIndex) of
// the user's keymap, the one the compositor gives this connection's seat
// keyboard (followed when it changes); the keys that set the level's
// modifiers are pressed around it, as a hardware keyboard would. A virtual
// keyboard carries that keymap with spare keys added for characters it lacks
// (SpareKeymap), and the compositor is told the modifiers and layout in
// force. Fake input takes keycodes of the compositor's own keymap alone, in
// the layout in use (which KWin tells over D-Bus): a character that layout
// lacks cannot be typed through it, and a string holding one is refused. Long strings go at up to a thousand keys a second,
// so that no client falls behind. With tracing on, every send is written to
// standard error (see SendTrace); keycodes there are the X11 ones (evdev + 8).

#include "platform/Platform.h"
#include "platform/SendTrace.h"
#include "platform/wayland/SeatKeymap.h"
#include "platform/xkb/SpareKeymap.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct org_kde_kwin_fake_input;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

namespace kelvo {

class WaylandConnection;

class WaylandKeySender final : public KeySender {
public:
    // Makes the keyboard device on the connection's seat: a virtual keyboard
    // given the user's keymap where the compositor offers one, else KWin's
    // fake input; reports a compositor with neither, or without a seat.
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
    QString startDevice();
    QString prepare(const std::vector<KeyAction>& actions);
    void upload();
    void key(xkb_keycode_t code, bool down);
    // A key symbol through fake input, for KWin to find a key for.
    void keysym(xkb_keysym_t sym, bool down);
    bool fakeInputTypesKeysyms() const;
    void setModifiers(xkb_mod_mask_t mods, xkb_layout_index_t layout);
    void releaseAll();
    xkb_layout_index_t layoutInUse() const;
    SendResult typeActions(const std::vector<KeyAction>& actions, bool wait);


    std::unique_ptr<WaylandConnection> connection_;
    std::unique_ptr<SeatKeymap> seat_;             // tells us the user's keymap
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;  // ours, or
    org_kde_kwin_fake_input* fakeInput_ = nullptr; // KWin's, where it has no virtual keyboard
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
