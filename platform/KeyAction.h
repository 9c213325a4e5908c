#pragma once
// One keystroke of a parsed key string, in plain C++ so that backends built
// without Qt can take it.

#include <cstdint>

namespace kelvo {

// Modifier bits of a KeyAction.
enum KeyModifier : unsigned {
    ModShift = 1,
    ModCtrl = 2,
    ModAlt = 4,
};

enum class NamedKey : std::uint8_t {
    None,
    Backspace, Break, CapsLock, Delete, Down, End, Enter, Escape, Help, Home,
    Insert, Left, NumLock, PageDown, PageUp, PrintScreen, Right, ScrollLock,
    Tab, Up,
    F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, F13, F14, F15, F16,
};

// One keystroke: a character or a named key, with the modifiers held around it.
struct KeyAction {
    char32_t character = 0;          // the character typed, when key is None
    NamedKey key = NamedKey::None;   // a named key, or None for a character
    unsigned modifiers = 0;          // KeyModifier bits held around the key

    bool operator==(const KeyAction&) const = default;
};

} // namespace kelvo
