#pragma once
// The keyboard window's measures. Where each control stands, and what it
// shows, is in its stored layout, keyboard/frmKelvo.layout.

namespace kelvo {

inline constexpr int KeyCount = 62;
inline constexpr int TwipsPerPixel = 15;

// The keyboard window's client size, twips.
inline constexpr int FormWidthTwips = 3960;
inline constexpr int FormHeightTwips = 4470;

// The stored layout built into the program.
inline constexpr const char* KeyboardLayoutPath = ":/forms/frmKelvo.layout";

} // namespace kelvo
