#pragma once
// Where a button's caption and icon go on its face.
//
// The numbers follow the button's own rules to the pixel: every conversion to
// a whole number goes to the nearest one with ties to the even one, and a
// quantity that cannot be worked out (no icon to take proportions from, a
// division by zero, a number out of range) is skipped, leaving the value of
// the previous paint in its place.

#include <QtGlobal>

#include <optional>

namespace kelvo {

// Width and height in pixels of the reference text "Zorvic Click", by which
// the number of lines a caption takes is estimated.
constexpr int CaptionRefWidth = 54;
constexpr int CaptionRefHeight = 13;

// Icon positions: ButtonIconPos values.
enum IconPosition : int {
    IconLeft = 0,   // icon at the left, caption beside it
    IconTop = 1,    // icon at the top, caption below
    IconRight = 2,  // icon at the right, caption beside it
    IconBottom = 3, // icon at the bottom, caption above
    IconBehind = 4, // icon over most of the face, caption centred on it
    NoIcon = -1,    // no icon shown: the caption alone
};

struct FaceLayout {
    // Caption rectangle in pixels; Right and Bottom are exclusive.
    struct Rect {
        qint32 Left = 0;
        qint32 Top = 0;
        qint32 Right = 0;
        qint32 Bottom = 0;
        bool operator==(const Rect&) const = default;
    };

    float FaceOffset = 0; // vertical shift of caption and icon, in pixels
    Rect TextRect;
    double IconWidth = 0;
    double IconHeight = 0;
    double IconLeft = 0;
    float IconTop = 0;
};

// What a layout is worked out from.
struct FaceInputs {
    float width = 0;  // the face's width W in pixels
    float height = 0; // its height H
    int column = NoIcon; // an IconPosition; any other value lays out nothing
    std::optional<int> iconWidth;  // the icon's stored size, if there is an icon
    std::optional<int> iconHeight;
    int captionHeight = 0; // height of the whole caption in the face's font
};

// Updates the icon and caption fields of `layout` for the inputs, in the
// order each column prescribes; FaceOffset is read, not changed.
void layOutFace(FaceLayout& layout, const FaceInputs& in);

// x as a 32-bit integer, nearest with ties to even; nothing when out of range.
std::optional<qint32> nearest(double x);

// nearest(a) divided by nearest(b), truncated toward zero; nothing for a zero
// divisor or an operand out of range.
std::optional<qint32> idiv(double a, double b);

} // namespace kelvo
