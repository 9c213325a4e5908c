#pragma once
// Where each character and named key sits on an xkbcommon keymap and which
// modifiers select its level: what every sender that types by keycode needs.
//
// Every layout (group) of the keymap is searched, lowest first, so a
// character comes out right whichever layout the user has active: the
// sender states the layout with each keystroke. Keypad keys are never used
// for characters (they follow Num Lock, and terminals send them as escape
// sequences in application mode).

#include "platform/KeyString.h"

#include <xkbcommon/xkbcommon.h>

#include <optional>
#include <unordered_map>
#include <vector>

namespace kelvo {

class KeymapIndex {
public:
    // One keystroke: the key, the layout it is typed in and the modifiers
    // (a mask over the keymap's modifier indices) held around it.
    struct Stroke {
        xkb_keycode_t code = 0;
        xkb_layout_index_t layout = 0;
        xkb_mod_mask_t mods = 0;

        bool operator==(const Stroke&) const = default;
    };

    // Indexes `keymap`, keeping a reference to it for as long as it lives.
    explicit KeymapIndex(xkb_keymap* keymap);
    ~KeymapIndex();
    KeymapIndex(const KeymapIndex&) = delete;
    KeymapIndex& operator=(const KeymapIndex&) = delete;

    xkb_keymap* keymap() const { return keymap_; }

    // The stroke that types `ch` on the lowest layout that has it (or on
    // `layout` alone, for a sender that cannot choose one), on a key X11
    // programs can see if there is one, needing the fewest modifiers; empty
    // when no key of the keymap types it.
    std::optional<Stroke> character(char32_t ch, std::optional<xkb_layout_index_t> layout = {}) const;
    // The same for the key that sends `sym` (Return, F5, ...).
    std::optional<Stroke> keysym(xkb_keysym_t sym, std::optional<xkb_layout_index_t> layout = {}) const;
    // The stroke for a parsed key: its character or named key, with the
    // key's own Shift, Ctrl and Alt added, as a hardware keyboard would type
    // them; empty when the keymap (or `layout`) lacks the key.
    std::optional<Stroke> resolve(const KeyAction& action, std::optional<xkb_layout_index_t> layout = {}) const;

    // A Ctrl or Alt shortcut on a Latin letter or digit that `layout` has
    // no key for (a Cyrillic layout, say), on the key in the letter's US
    // place, as a hardware keyboard sends it there: applications match
    // shortcuts by key position too. Empty for anything else.
    std::optional<Stroke> shortcutAtUsPlace(const KeyAction& action, xkb_layout_index_t layout) const;

    // The keys to hold down for `mods`, one for each modifier a key of the
    // keymap sets (Shift_L for Shift, ISO_Level3_Shift for AltGr's modifier,
    // ...); a modifier that no key sets gets none.
    std::vector<xkb_keycode_t> modifierKeys(xkb_mod_mask_t mods) const;

    // The masks that Shift, Control and Alt set on this keymap.
    xkb_mod_mask_t shiftMask() const { return shift_; }
    xkb_mod_mask_t controlMask() const { return control_; }
    xkb_mod_mask_t altMask() const { return alt_; }

    // Keycodes from 8 on that carry no symbol in any layout, free to be given
    // one: first those up to 255 (the ones X11 programs can see too), then
    // the rest in the keymap's range.
    std::vector<xkb_keycode_t> unusedKeycodes() const;

    // The first symbol of `code` in `layout` at its first level, or 0.
    xkb_keysym_t baseSymbol(xkb_keycode_t code, xkb_layout_index_t layout = 0) const;

private:
    // A key and level in the global layout `layout`.
    struct Place {
        xkb_keycode_t code;
        xkb_layout_index_t layout;      // the layout stated with the stroke
        xkb_layout_index_t keyLayout;   // the key's own layout that it selects
        xkb_level_index_t level;
    };

    void index();
    void findModifierKeys();
    std::optional<Stroke> best(const std::vector<Place>* places, std::optional<xkb_layout_index_t> layout) const;
    std::optional<xkb_mod_mask_t> modsFor(const Place& place) const;

    xkb_keymap* keymap_;
    std::unordered_map<char32_t, std::vector<Place>> chars_;
    std::unordered_map<xkb_keysym_t, std::vector<Place>> syms_;
    std::unordered_map<char32_t, xkb_keycode_t> usPlaces_;
    std::vector<std::pair<xkb_mod_mask_t, xkb_keycode_t>> modifierKeys_; // one modifier bit each
    xkb_mod_mask_t shift_ = 0;
    xkb_mod_mask_t control_ = 0;
    xkb_mod_mask_t alt_ = 0;
};

// The Latin letter or digit that the key of this XKB name ("AC01") carries
// on a US keyboard, or 0: the key positions every layout shares.
char32_t latinAtUsPlace(const char* keyName);

// The keysym a named key sends (XKB_KEY_NoSymbol for NamedKey::None).
xkb_keysym_t namedKeySym(NamedKey key);

} // namespace kelvo
