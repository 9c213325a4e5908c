#pragma once
// What the drawings of kelvo-draw-art share: colours, palette pictures and the
// writers of the three file formats the program reads (GIF, ICO, PNG).

#include <QFont>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QImage>
#include <QString>

#include "button/Picture.h"

#include <gif_lib.h>

#include <functional>
#include <vector>

namespace art {

// Every face, icon and logo is drawn once more for each ratio of device to
// logical pixels that the program looks for, under the name it looks for.
using kelvo::drawnPath;
inline constexpr const auto& Ratios = kelvo::DrawnRatios;

// A colour with fractional channels (0 to 255), so shading can be mixed
// before it is rounded once.
struct Rgb {
    double r, g, b;
};

// The colour t of the way from a to b (t 0 gives a, 1 gives b).
Rgb mix(Rgb a, Rgb b, double t);

// A palette picture: one byte per pixel, row by row, indexing `palette`,
// whose size (a power of two from 2 to 256) is the GIF's colour-table size.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<GifByteType> pixels;
    std::vector<GifColorType> palette;
    int transparent = 0; // palette index that is see-through
};

// Writes `image` as a GIF89a with one global colour table and its see-through
// index; prints what failed and returns false on any error.
bool writeGif(const QString& path, const IndexedImage& image);

// A palette picture of width x height whose see-through pixels are those
// `visible` refuses and whose other pixels take `colour`: index 0 is the
// see-through entry, the visible colours are reduced (median cut, no dither)
// to at most paletteSize - 1 entries, and no entry is pure black (0, 0, 0),
// which the button control cuts out, or pure green (0, 255, 0), the keyboard
// window's colour key. Returns an image with no pixels when paletteSize is no
// power of two from 2 to 256.
IndexedImage quantise(int width, int height, int paletteSize, const std::function<bool(int, int)>& visible,
                      const std::function<Rgb(int, int)>& colour);

// Distance of the point (x, y) inside a rectangle with corners rounded to
// `radius`: 0 on its outline, growing inwards, negative outside.
double insideRounded(double x, double y, double left, double top, double right, double bottom, double radius);

// Average colour of the visible (non-transparent-index) pixels.
Rgb averageVisible(const IndexedImage& image);

// Writes a Windows icon file holding one 4-bit (16-colour) image of `image`'s
// size: pixels with alpha below 128 are see-through through the AND mask, the
// others take the nearest of the 16 `palette` colours.
bool writeIco4(const QString& path, const QImage& image, const std::vector<QRgb>& palette);

// True when the desktop has the font family `font` asks for; otherwise prints
// which Debian package brings it, since a substitute would change the output.
bool fontPresent(const QFont& font, const char* package);

// How a drawn computer mouse's shell is lit and outlined.
struct MouseLook {
    QColor shadow;        // cast down and to the right, by shadowOffset
    QPointF shadowOffset;
    double glowRadius;    // of the shell's light, as a share of its height
    QPointF lightFrom;    // where the light is brightest, as shares of width and height from the centre
    double midAt;         // where the light has faded to `mid`
    QColor mid, rim;      // the shell's colour part way and at its edge
    QPen outline;         // around the shell
    QPen seams;           // between the two buttons and across below them
    double seamInset;     // of the seams from the shell's outline
};

// The shell of a mouse seen from above, filling `body` (its two buttons at
// the top, 40 % of its height): its shadow, the lit shell, its outline and
// the seams between the buttons. The wheel and the cable are the caller's.
void drawMouseShell(QPainter& p, const QRectF& body, const MouseLook& look);

// Saves `image` under folder/name in the format the name's suffix gives.
bool save(const QImage& image, const QString& folder, const QString& name);

// The keys' ten glossy faces, face-f1.gif to face-f10.gif, into `folder`.
bool drawKeyFaces(const QString& folder);

// The keys' seven icons (arrows, tab arrows, cross) as icon-*.ico into `folder`.
bool drawKeyIcons(const QString& folder);

// The logo button's three pictures, logo-normal/over/down.png, into `folder`.
bool drawLogos(const QString& folder);

// The settings dialog's slogan, banner, illustration and its buttons' three
// faces into `folder`.
bool drawSettingsArt(const QString& folder);

} // namespace art
