// The keys' ten faces: 100 x 40 glossy bars, stretched over keys from 20 x 17
// to 77 x 25 pixels by nearest-neighbour copying. So every feature is several
// pixels wide (a stretch to 20 pixels keeps one column in five); the gloss is
// a broad band and the edges darken over six pixels, not one.
//
// Each face is drawn again for screens with more device pixels to the
// logical pixel: the same shading, taken at the centres of the finer
// pixels, and corners rounded on a curve instead of cut by whole pixels.

#include "Art.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace art {
namespace {

constexpr int Width = 100;
constexpr int Height = 40;
constexpr int PaletteSize = 128;

// How one face is lit.
struct KeyFace {
    const char* file;
    Rgb body;         // colour under the gloss, at mid height
    Rgb highlight;    // colour the gloss band fades from at its top
    Rgb glow;         // light gathered inside the bottom edge
    Rgb rim;          // the edges and the outline
    double glossTop;  // share of `highlight` at the top of the band
    double glossLow;  // share of `highlight` at its bottom
    double bandLow;   // bottom of the gloss band, in rows
    int cornerCut;    // see-through pixels at each corner: 1 or 3
};

// Radius, in logical pixels, of the rounded corners of the finer drawings:
// about what the cut of one or three pixels shows.
double cornerRadius(const KeyFace& face)
{
    return face.cornerCut == 1 ? 2.0 : 3.0;
}

bool visible(const KeyFace& face, int x, int y)
{
    const int cx = std::min(x, Width - 1 - x);
    const int cy = std::min(y, Height - 1 - y);
    if (face.cornerCut == 1)
        return !(cx == 0 && cy == 0);
    return !((cx == 0 && cy <= 1) || (cy == 0 && cx <= 1));
}

// The colour at (u, v), in the logical pixels of the 100 x 40 face.
Rgb shade(const KeyFace& face, double u, double v)
{
    Rgb c = face.body;

    // A clear dome gathers light towards its bottom edge.
    const double t = v / Height;
    if (t > 0.5)
        c = mix(c, face.glow, std::min(1.0, std::pow((t - 0.5) / 0.42, 2.0)) * 0.85);

    // The gloss: a band with round ends, bright at its top and fading down to
    // a soft lower edge; a faint shadow lies under it.
    const double bandTop = 2.0, bandBottom = face.bandLow;
    const double inBand = insideRounded(u, v, 4.0, bandTop, Width - 4.0, bandBottom, 7.0);
    if (inBand > -1.0) {
        const double s = std::clamp((v - bandTop) / (bandBottom - bandTop), 0.0, 1.0);
        const double w = face.glossTop + (face.glossLow - face.glossTop) * s;
        c = mix(c, face.highlight, w * std::clamp(inBand + 0.5, 0.0, 1.0));
    }
    if (v > bandBottom && v < bandBottom + 3.0 && u > 6 && u < Width - 6)
        c = mix(c, face.rim, 0.10 * (1.0 - (v - bandBottom) / 3.0));

    // The body rounds away from the light along all its edges.
    const double edge = insideRounded(u, v, 0.0, 0.0, Width, Height, 8.0);
    const double fall = std::clamp(1.0 - edge / 7.0, 0.0, 1.0);
    c = mix(c, face.rim, 0.55 * std::pow(fall, 1.7));
    if (edge < 1.0)
        c = mix(c, face.rim, 0.55);
    return c;
}

} // namespace

bool drawKeyFaces(const QString& folder)
{
    // Body, highlight, glow, rim; gloss top and bottom, band bottom, corner cut.
    const KeyFace faces[] = {
        {"face-f1.gif", {170, 174, 182}, {252, 253, 255}, {226, 229, 234}, {92, 96, 106}, 0.90, 0.35, 19, 3},
        {"face-f2.gif", {146, 202, 248}, {244, 250, 255}, {206, 236, 255}, {62, 124, 194}, 0.90, 0.35, 19, 3},
        {"face-f3.gif", {110, 164, 222}, {214, 232, 252}, {164, 206, 244}, {44, 94, 164}, 0.85, 0.30, 19, 3},
        {"face-f4.gif", {222, 76, 26}, {255, 196, 150}, {255, 146, 70}, {134, 32, 6}, 0.85, 0.25, 19, 3},
        {"face-f5.gif", {206, 207, 210}, {255, 255, 255}, {238, 238, 240}, {130, 131, 138}, 0.90, 0.35, 19, 3},
        {"face-f6.gif", {212, 226, 248}, {255, 255, 255}, {238, 245, 255}, {132, 156, 202}, 0.90, 0.40, 19, 3},
        {"face-f7.gif", {172, 164, 204}, {242, 240, 254}, {208, 200, 234}, {104, 96, 144}, 0.85, 0.30, 19, 3},
        {"face-f8.gif", {238, 174, 18}, {255, 242, 176}, {255, 214, 84}, {158, 100, 4}, 0.85, 0.30, 19, 3},
        {"face-f9.gif", {156, 160, 170}, {248, 250, 254}, {216, 220, 228}, {82, 86, 98}, 0.95, 0.30, 17, 1},
        {"face-f10.gif", {204, 26, 24}, {255, 172, 160}, {242, 84, 70}, {118, 8, 8}, 0.85, 0.25, 19, 3},
    };
    for (const KeyFace& face : faces) {
        const IndexedImage image = quantise(
            Width, Height, PaletteSize, [&](int x, int y) { return visible(face, x, y); },
            [&](int x, int y) { return shade(face, x + 0.5, y + 0.5); });
        const Rgb a = averageVisible(image);
        std::printf("%s: average (%.1f, %.1f, %.1f)\n", face.file, a.r, a.g, a.b);
        const QString path = QDir(folder).filePath(QString::fromLatin1(face.file));
        if (!writeGif(path, image))
            return false;
        for (const double ratio : Ratios) {
            const int w = int(std::lround(Width * ratio)), h = int(std::lround(Height * ratio));
            const IndexedImage finer = quantise(
                w, h, 256,
                [&](int x, int y) {
                    return insideRounded((x + 0.5) / ratio, (y + 0.5) / ratio, 0, 0, Width, Height,
                                         cornerRadius(face))
                        >= 0;
                },
                [&](int x, int y) { return shade(face, (x + 0.5) / ratio, (y + 0.5) / ratio); });
            if (!writeGif(drawnPath(path, ratio), finer))
                return false;
        }
    }
    return true;
}

} // namespace art
