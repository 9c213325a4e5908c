#pragma once
// Where each control of the keyboard window stands, and what it shows.
//
// Positions and sizes are in twips (1/1440 inch, 15 to the pixel at 96 dpi)
// from the window's top-left corner, as they are stored.

#include <QRect>
#include <QString>

#include <array>

namespace kelvo {

struct KeyPlace {
    const char16_t* caption; // text on the key; the dwell engine reads it
    const char16_t* tag;     // the arrow, tab and backspace keys' name
    int left, top, width, height; // twips
};

inline constexpr int KeyCount = 62;
inline constexpr int TwipsPerPixel = 15;

// The keys by Key index.
extern const std::array<KeyPlace, KeyCount> KeyTable;

// The logo, minimise and exit buttons.
extern const KeyPlace LogoPlace;
extern const KeyPlace MinimizePlace;
extern const KeyPlace ExitPlace;

// The keyboard window's client size, twips.
inline constexpr int FormWidthTwips = 3960;
inline constexpr int FormHeightTwips = 4470;

// A place in pixels.
QRect pixelRect(const KeyPlace& place);

} // namespace kelvo
