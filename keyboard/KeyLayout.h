#pragma once
// The keyboard window's measures. Where each control stands, and what it
// shows, is in its stored layout, keyboard/frmKelvo.layout.

#include <QRect>

namespace kelvo {

inline constexpr int KeyCount = 62;
inline constexpr int TwipsPerPixel = 15;

// A place given in twips, in pixels.
inline QRect pixelRect(int left, int top, int width, int height)
{
    return QRect(left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel, height / TwipsPerPixel);
}

// The keyboard window's client size, twips.
inline constexpr int FormWidthTwips = 3960;
inline constexpr int FormHeightTwips = 4470;

// The stored layout built into the program.
inline constexpr const char* KeyboardLayoutPath = ":/forms/frmKelvo.layout";

} // namespace kelvo
