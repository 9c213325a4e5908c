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

#include "platform/KeyAction.h"

#include <QString>

#include <optional>
#include <vector>

namespace kelvo {

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
