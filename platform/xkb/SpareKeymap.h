#pragma once
// The user's keymap with keys of Kelvo's own added for the characters it
// lacks: what a sender that brings its own keymap (a virtual keyboard)
// uploads, so that é or ж can be typed on a `us` layout.
//
// A spare key is a keycode without symbols in the user's keymap. Once given
// a character it keeps it while the character is in use, so the keymap
// changes only when a new character needs a key, and a keycode is given
// another character only after it has been left alone for Grace: a client
// that reads a new keymap late (an X11 program behind XWayland) must not
// read the new character for an older press.

#include "platform/xkb/KeymapIndex.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvo {

class SpareKeymap {
public:
    using Clock = std::chrono::steady_clock;

    // How long a spare key keeps its character after its last press.
    static constexpr std::chrono::milliseconds Grace{1000};

    // What reserve() did.
    struct Reservation {
        bool changed = false;                 // keymap() is new: upload it
        std::optional<Clock::duration> wait;  // a key is in its grace: try again after this
        QString error;                        // why the keys cannot all be had; empty when they can
    };

    // Compiles with `context`, which it keeps a reference to.
    explicit SpareKeymap(xkb_context* context);
    ~SpareKeymap();
    SpareKeymap(const SpareKeymap&) = delete;
    SpareKeymap& operator=(const SpareKeymap&) = delete;

    // Makes `keymap` the user's keymap. Spare keys whose keycode it uses, or
    // whose character it has itself, are given up; the rest keep theirs.
    // The keymap is rebuilt, so it is always new afterwards.
    QString setBase(xkb_keymap* keymap);
    // The same from a keymap's text; an error (and nothing changed) when it
    // does not compile.
    QString setBase(const std::string& text);

    // Gives each symbol in `syms` that the keymap lacks a spare key, taking
    // free keys first and then the ones left alone longest. Either every
    // symbol has a key afterwards, or nothing changed and `wait` or `error`
    // says why.
    Reservation reserve(const std::vector<xkb_keysym_t>& syms, Clock::time_point now);

    // Notes that the spare key `code` was pressed at `now` (other keys are ignored).
    void pressed(xkb_keycode_t code, Clock::time_point now);

    // True when `code` is one of the spare keys holding a symbol.
    bool isSpare(xkb_keycode_t code) const;

    // The keymap to upload, its text, and where each key is on it; null
    // until a base is set.
    xkb_keymap* keymap() const { return index_ ? index_->keymap() : nullptr; }
    const std::string& text() const { return text_; }
    const KeymapIndex* index() const { return index_.get(); }

    // True when `text` is a keymap this class made (a compositor sends the
    // keymap of the keyboard last typed on back to every client).
    static bool isOurs(const std::string& text);

private:
    struct Spare {
        xkb_keycode_t code;
        xkb_keysym_t sym = XKB_KEY_NoSymbol; // the lower-case symbol it carries; none while free
        Clock::time_point lastUsed{};
    };

    QString rebuild();
    bool has(xkb_keysym_t sym) const;

    xkb_context* context_;
    xkb_keymap* base_ = nullptr;
    std::unique_ptr<KeymapIndex> baseIndex_;
    std::unique_ptr<KeymapIndex> index_;
    std::string text_;
    std::vector<Spare> spares_;
};

} // namespace kelvo
