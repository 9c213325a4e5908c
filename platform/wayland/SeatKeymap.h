#pragma once
// The user's keymap, as the compositor gives it to the keyboard of a seat:
// what every sender that types by keycode or keysym on Wayland looks
// characters up in. Works without any surface of ours having the focus.

#include <cstdint>
#include <functional>
#include <string>

struct wl_keyboard;
struct wl_seat;

namespace kelvo {

class WaylandConnection;

class SeatKeymap {
public:
    // Binds the connection's first seat and listens to its keyboard once it
    // has one; the keymap arrives with the next two round trips. Keymaps
    // `ignore` accepts are passed over (a sender's own uploaded one).
    explicit SeatKeymap(WaylandConnection& connection, std::function<bool(const std::string&)> ignore = {});
    ~SeatKeymap();
    SeatKeymap(const SeatKeymap&) = delete;
    SeatKeymap& operator=(const SeatKeymap&) = delete;

    // The seat, null when the compositor offers none.
    wl_seat* seat() const { return seat_; }
    // True while the seat has a keyboard (a device of anyone's).
    bool hasKeyboard() const { return hasKeyboard_; }
    // The keymap's text as the compositor last sent it; empty before then.
    const std::string& text() const { return text_; }
    // True once after each new keymap, for the caller to take it in.
    bool takeNew();

private:
    static void onCapabilities(void* data, wl_seat* seat, std::uint32_t capabilities);
    static void onKeymap(void* data, wl_keyboard* keyboard, std::uint32_t format, int fd, std::uint32_t size);

    std::function<bool(const std::string&)> ignore_;
    wl_seat* seat_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    bool hasKeyboard_ = false;
    std::string text_;
    bool new_ = false;
};

} // namespace kelvo
