#pragma once
// The key-string syntax: a compact text that names keystrokes.
//
//   a, 1, @ ...        a character types itself
//   +  ^  %            Shift, Ctrl, Alt held around the next key, or around
//                      every key of a parenthesised group: "+(ab)"
//   ~                  Enter
//   {NAME} {NAME n}    a named key (case-insensitive), n times
//   {+} {^} {%} {~} {(} {)} {{} {}}   the sign itself (any single character
//                      in braces types itself, also with a count: "{a 3}")
//
// A malformed string is refused whole: nothing of it is sent.

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

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

// Why a key string was refused. position is the 1-based index of the
// offending character in the string (UTF-16 code units, as QString counts).
struct KeyStringError {
    qsizetype position = 0;
    QString reason;

    // "at position N: reason", for messages shown to people.
    QString message() const;
    // "key string "KEYS" refused at position N: reason".
    QString refusal(const QString& keys) const;
};

struct ParsedKeys {
    std::vector<KeyAction> actions;
    std::optional<KeyStringError> error;

    bool ok() const { return !error.has_value(); }
};

// Upper bounds that keep a hostile string from asking for millions of keys.
inline constexpr int MaxKeyRepeat = 1000;
inline constexpr std::size_t MaxKeyActions = 100000;

// Parses a key string. On error, actions is empty and error says where and why.
// A string that ends in modifier signs naming no key ("+", "^%") is refused:
// tapping a lone modifier has side effects (Alt opens menu bars).
ParsedKeys parseKeyString(const QString& keys);

// The canonical key-string text of actions (one key per action, modifiers
// spelled out, names in braces): used by traces and tests.
QString formatKeyActions(const std::vector<KeyAction>& actions);

// The name of a named key as written in braces ("TAB", "F12").
QString namedKeyName(NamedKey key);

} // namespace kelvo
