#pragma once
// Fonts as forms store them: a face name, a size in points, a weight and a
// character set. Faces common on other desktops are drawn with a metric-
// compatible or close face where they are missing.

#include "button/PropertyBag.h"

#include <QFont>
#include <QString>

#include <optional>

namespace kelvo {

struct FontFace {
    QString face;      // the face name as stored, e.g. "Arial"
    double points = 0; // size in points, a whole number of pixels at 96 dpi
    int weight = 400;  // 400 regular, 700 bold
    int charset = 0;   // 0 text, 2 symbol
};

// The size in pixels at 96 dots per inch, or nothing when `points` is not a
// whole number of pixels (a multiple of 0.75 pt) from 1 to 1000.
std::optional<int> pixelsOf(double points);

// A font object for `face` at its size in pixels; the face keeps its stored
// name, and a substitute draws it where the desktop lacks it. `points` must
// be a whole number of pixels (see pixelsOf).
FontRef makeFont(const FontFace& face);

} // namespace kelvo
