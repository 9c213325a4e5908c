// Draws the program's pictures: kelvo-draw-art RESOURCES
// writes RESOURCES/icons/AAAA.png and form.png (the window and form icons),
// RESOURCES/icons/theme/ (the same mark larger and as SVG, for the desktop's
// icon theme),
// RESOURCES/button/face-normal.gif, face-over.gif, face-down.gif (the button's
// built-in faces) and hand.png (its mouse pointer), RESOURCES/keyboard/ (the
// keys' faces and icons and the logo, see tools/art/) and RESOURCES/settings/
// (the settings dialog's pictures and button faces). Run it from the source
// tree as `build/kelvo-draw-art resources`; the output is committed, so run it
// again only after changing a drawing.

#include "art/Art.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace {

// A glossy blue key cap with a pointer resting on it: the program's mark.
void drawMark(QPainter& p, int size)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF cap(size * 0.06, size * 0.10, size * 0.88, size * 0.80);
    QLinearGradient body(cap.topLeft(), cap.bottomLeft());
    body.setColorAt(0.0, QColor(150, 176, 244));
    body.setColorAt(0.45, QColor(72, 102, 212));
    body.setColorAt(1.0, QColor(38, 60, 160));
    QPainterPath path;
    path.addRoundedRect(cap, size * 0.16, size * 0.16);
    p.fillPath(path, body);
    p.setPen(QPen(QColor(24, 36, 110), size / 32.0));
    p.drawPath(path);

    // Highlight band along the top.
    QPainterPath band;
    band.addRoundedRect(cap.adjusted(size * 0.06, size * 0.04, -size * 0.06, -cap.height() * 0.55),
                        size * 0.10, size * 0.10);
    QLinearGradient shine(band.boundingRect().topLeft(), band.boundingRect().bottomLeft());
    shine.setColorAt(0.0, QColor(255, 255, 255, 170));
    shine.setColorAt(1.0, QColor(255, 255, 255, 20));
    p.fillPath(band, shine);

    // An arrow pointer resting on the cap.
    QPainterPath arrow;
    const double s = size / 48.0;
    const QPointF o(size * 0.40, size * 0.30);
    arrow.moveTo(o);
    arrow.lineTo(o + QPointF(0, 22 * s));
    arrow.lineTo(o + QPointF(5.5 * s, 17 * s));
    arrow.lineTo(o + QPointF(9 * s, 25 * s));
    arrow.lineTo(o + QPointF(12.5 * s, 23.5 * s));
    arrow.lineTo(o + QPointF(9 * s, 15.5 * s));
    arrow.lineTo(o + QPointF(16 * s, 15.5 * s));
    arrow.closeSubpath();
    p.setPen(QPen(Qt::black, 1.4 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
}

// The mark for the desktop's icon theme, drawn from the same shapes as the
// window icon: larger pictures for menus and software centres, and an SVG
// that scales to any size.
bool drawThemeIcons(const QString& folder)
{
    QDir().mkpath(folder);
    for (int size : {64, 128, 256}) {
        QImage icon(size, size, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        {
            QPainter p(&icon);
            drawMark(p, size);
        }
        if (!art::save(icon, folder, QStringLiteral("kelvo-%1.png").arg(size)))
            return false;
    }
    const QString path = QDir(folder).filePath(QStringLiteral("kelvo.svg"));
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(48, 48));
    svg.setViewBox(QRect(0, 0, 48, 48));
    svg.setTitle(QStringLiteral("Kelvo"));
    svg.setDescription(QStringLiteral("A key cap with a pointer resting on it"));
    QPainter p;
    if (!p.begin(&svg)) {
        std::fprintf(stderr, "kelvo-draw-art: cannot write %s\n", qPrintable(path));
        return false;
    }
    drawMark(p, 48);
    return p.end();
}

// ---- The button's built-in faces -------------------------------------------
//
// A face is 40 x 40 pixels: a glossy rectangle over the full width and rows 3
// to 35 with five pixels cut from each corner; the rest is the GIF's one
// transparent colour. The control puts the transparent pixels on black and
// treats black as see-through, so no visible pixel may be black.

constexpr int FaceSize = 40;
constexpr int FaceTop = 3;     // first visible row
constexpr int FaceBottom = 35; // last visible row
constexpr int FaceRows = FaceBottom - FaceTop + 1;

using art::Rgb;
using art::mix;

bool faceVisible(int x, int y)
{
    if (x < 0 || x >= FaceSize || y < FaceTop || y > FaceBottom)
        return false;
    // Three pixels along the top or bottom edge and two more down the side at
    // each corner: the smallest cut that still reads as a curve at this size.
    const int cx = std::min(x, FaceSize - 1 - x);
    const int cy = std::min(y - FaceTop, FaceBottom - y);
    return !((cy == 0 && cx <= 2) || (cx == 0 && cy <= 2));
}

bool faceOutline(int x, int y)
{
    return faceVisible(x, y)
        && !(faceVisible(x - 1, y) && faceVisible(x + 1, y) && faceVisible(x, y - 1) && faceVisible(x, y + 1));
}

// How one face is lit. Only `body` and `glow` move while the face is fitted
// to its average colour; the rest is the drawing's fixed character.
struct FaceLook {
    const char* file;
    Rgb target;       // average colour the visible pixels must come to
    Rgb body;         // flat colour between the gloss and the glow
    Rgb highlight;    // colour the gloss band fades from at its top
    Rgb glow;         // light thrown up inside the bottom edge
    Rgb rim;          // the edge and the shading along the sides
    double glossTop;  // share of `highlight` in the top row of the gloss band
    double glossLow;  // share of `highlight` in its bottom row
    bool pressed;     // sunken: a shadow under the top edge, the gloss lower
    bool fixedBody;   // `body` is kept exactly; only `glow` is fitted
};

Rgb facePixel(const FaceLook& look, int x, int y)
{
    const int v = y - FaceTop;
    Rgb c = look.body;

    // Light gathers towards the bottom edge, as under a clear dome.
    const int glowFrom = look.pressed ? 15 : 17;
    if (v > glowFrom) {
        const double t = double(v - glowFrom) / (FaceRows - 1 - glowFrom);
        c = mix(c, look.glow, 0.95 * t * t);
    }

    // The gloss: a band of reflected light with its own rounded ends, bright
    // at the top and fading towards a sharp lower edge.
    const int bandFirst = look.pressed ? 3 : 1;
    const int bandLast = look.pressed ? 15 : 14;
    if (v >= bandFirst && v <= bandLast && x >= 2 && x <= FaceSize - 3) {
        const double t = double(v - bandFirst) / (bandLast - bandFirst);
        double w = look.glossTop + (look.glossLow - look.glossTop) * t;
        const bool bandEnd = x == 2 || x == FaceSize - 3;
        if (bandEnd && (v == bandFirst || v == bandLast))
            w *= 0.35;
        else if (bandEnd)
            w *= 0.7;
        c = mix(c, look.highlight, w);
    }

    // A rounded body falls away from the light at its sides.
    const int side = std::min(x, FaceSize - 1 - x);
    if (side == 1)
        c = mix(c, look.rim, 0.16);
    else if (side == 2)
        c = mix(c, look.rim, 0.07);

    if (look.pressed && (v == 1 || v == 2))
        c = mix(c, look.rim, v == 1 ? 0.35 : 0.15);

    if (faceOutline(x, y))
        c = mix(c, look.rim, 0.6);
    return c;
}

// The face drawn again for a screen with more device pixels to the logical
// pixel: the same light worked out at the point (u, v) of the 40 x 40 face,
// its bands and shading running smoothly between the centres of the pixels
// they lie on above, the outline one logical pixel wide and the corners
// rounded on a curve.
constexpr double FinerCornerRadius = 4.5;

double insideFace(double u, double v)
{
    return art::insideRounded(u, v, 0, FaceTop, FaceSize, FaceBottom + 1, FinerCornerRadius);
}

// `at` through the points (1, share1), (2, share2), (3, 0): how much of the
// rim a pixel that far in takes.
double fading(double at, double share1, double share2)
{
    if (at <= 1)
        return share1;
    if (at <= 2)
        return share1 + (share2 - share1) * (at - 1);
    return at < 3 ? share2 * (3 - at) : 0;
}

Rgb facePixelAt(const FaceLook& look, double u, double v)
{
    // The row and column whose centre lies at (u, v) above; fractions between.
    const double row = v - FaceTop - 0.5;
    const double col = u - 0.5;
    Rgb c = look.body;

    const int glowFrom = look.pressed ? 15 : 17;
    if (row > glowFrom) {
        const double t = (row - glowFrom) / (FaceRows - 1 - glowFrom);
        c = mix(c, look.glow, 0.95 * t * t);
    }

    const int bandFirst = look.pressed ? 3 : 1;
    const int bandLast = look.pressed ? 15 : 14;
    if (row >= bandFirst - 0.5 && row < bandLast + 0.5 && col >= 1.5 && col < FaceSize - 2.5) {
        const double t = std::clamp((row - bandFirst) / (bandLast - bandFirst), 0.0, 1.0);
        double w = look.glossTop + (look.glossLow - look.glossTop) * t;
        // The band's ends fade over its last pixel, its corners the most.
        const double end = std::clamp(std::min(col - 1.5, FaceSize - 2.5 - col), 0.0, 1.0);
        const double edge = std::clamp(std::min(row - (bandFirst - 0.5), bandLast + 0.5 - row), 0.0, 1.0);
        if (end < 1)
            w *= (0.7 + 0.3 * end) * (edge < 1 ? 0.5 + 0.5 * edge : 1.0);
        c = mix(c, look.highlight, w);
    }

    const double side = std::min(u, FaceSize - u) - 0.5;
    c = mix(c, look.rim, fading(side, 0.16, 0.07));
    if (look.pressed)
        c = mix(c, look.rim, fading(row, 0.35, 0.15));

    if (insideFace(u, v) < 1)
        c = mix(c, look.rim, 0.6);
    return c;
}

// One face as palette indices, with its palette: index 0 is the transparent
// colour, the face's own colours follow.
struct IndexedFace {
    art::IndexedImage image;
    Rgb average;
};

std::array<int, 3> rounded(Rgb c)
{
    auto channel = [](double v) { return std::clamp(int(std::lround(v)), 0, 255); };
    return {channel(c.r), channel(c.g), channel(c.b)};
}

IndexedFace renderFace(const FaceLook& look)
{
    IndexedFace face;
    face.image.width = face.image.height = FaceSize;
    face.image.pixels.assign(FaceSize * FaceSize, 0);
    std::map<std::array<int, 3>, int> index;
    std::vector<std::array<int, 3>> colours;
    double sum[3] = {0, 0, 0};
    int count = 0;
    for (int y = 0; y < FaceSize; ++y)
        for (int x = 0; x < FaceSize; ++x) {
            if (!faceVisible(x, y))
                continue;
            const auto c = rounded(facePixel(look, x, y));
            auto [it, added] = index.emplace(c, int(colours.size()) + 1);
            if (added)
                colours.push_back(c);
            face.image.pixels[y * FaceSize + x] = GifByteType(std::min(it->second, 255));
            for (int i = 0; i < 3; ++i)
                sum[i] += c[i];
            ++count;
        }
    face.average = {sum[0] / count, sum[1] / count, sum[2] / count};
    face.image.palette.assign(256, GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours.size() && i < 255; ++i)
        face.image.palette[i + 1] = GifColorType{GifByteType(colours[i][0]), GifByteType(colours[i][1]),
                                           GifByteType(colours[i][2])};
    if (colours.size() > 255)
        face.image.palette.clear(); // more colours than a GIF palette holds: refused by the caller
    return face;
}

// Moves the face's free colours until the average of its visible pixels lies
// within half a step of the target in every channel.
bool fitFace(FaceLook& look, IndexedFace& face)
{
    // The glow's share of the average, for scaling its corrections.
    double glowShare = 0;
    {
        FaceLook probe = look;
        probe.body = {0, 0, 0};
        probe.highlight = probe.rim = {0, 0, 0};
        probe.glow = {1000, 1000, 1000};
        int count = 0;
        for (int y = 0; y < FaceSize; ++y)
            for (int x = 0; x < FaceSize; ++x)
                if (faceVisible(x, y)) {
                    glowShare += facePixel(probe, x, y).r / 1000;
                    ++count;
                }
        glowShare /= count;
    }
    for (int round = 0; round < 200; ++round) {
        face = renderFace(look);
        const Rgb miss{look.target.r - face.average.r, look.target.g - face.average.g,
                       look.target.b - face.average.b};
        if (std::abs(miss.r) <= 0.5 && std::abs(miss.g) <= 0.5 && std::abs(miss.b) <= 0.5)
            return !face.image.palette.empty();
        // Half steps settle where whole ones would hop over the rounding.
        const double k = look.fixedBody ? 0.5 / glowShare : 0.5;
        auto nudge = [k](Rgb& c, Rgb m) {
            c = {std::clamp(c.r + m.r * k, 1.0, 255.0), std::clamp(c.g + m.g * k, 1.0, 255.0),
                 std::clamp(c.b + m.b * k, 1.0, 255.0)};
        };
        if (!look.fixedBody)
            nudge(look.body, miss);
        nudge(look.glow, miss);
    }
    return false;
}

bool drawFaces(const QString& folder)
{
    // Normal's body colour is the one the rest of the program knows the face
    // by; the gloss and the glow lift the average to the target around it.
    std::array<FaceLook, 3> looks{{
        {"face-normal.gif", {86, 114, 217}, {53, 74, 214}, {226, 234, 255}, {40, 120, 235},
         {16, 24, 104}, 0.86, 0.30, false, true},
        {"face-over.gif", {151, 174, 241}, {128, 156, 238}, {246, 249, 255}, {130, 190, 250},
         {58, 86, 196}, 0.80, 0.30, false, false},
        {"face-down.gif", {169, 192, 251}, {150, 178, 250}, {244, 248, 255}, {150, 205, 255},
         {84, 112, 226}, 0.70, 0.26, true, false},
    }};
    for (FaceLook& look : looks) {
        IndexedFace face;
        if (!fitFace(look, face)) {
            std::fprintf(stderr, "kelvo-draw-art: %s %s\n", look.file,
                         face.image.palette.empty() ? "needs more than the 255 colours a GIF palette leaves it"
                                              : "cannot be brought to its average colour");
            return false;
        }
        std::printf("%s: average (%.2f, %.2f, %.2f), body (%.0f, %.0f, %.0f), glow (%.0f, %.0f, %.0f)\n",
                    look.file, face.average.r, face.average.g, face.average.b, look.body.r, look.body.g,
                    look.body.b, look.glow.r, look.glow.g, look.glow.b);
        const QString path = QDir(folder).filePath(QString::fromLatin1(look.file));
        if (!art::writeGif(path, face.image))
            return false;
        for (const double ratio : art::Ratios) {
            const int side = int(std::lround(FaceSize * ratio));
            const art::IndexedImage finer = art::quantise(
                side, side, 256, [&](int x, int y) { return insideFace((x + 0.5) / ratio, (y + 0.5) / ratio) >= 0; },
                [&](int x, int y) { return facePixelAt(look, (x + 0.5) / ratio, (y + 0.5) / ratio); });
            if (!art::writeGif(art::drawnPath(path, ratio), finer))
                return false;
        }
    }
    return true;
}

// ---- The button's mouse pointer -------------------------------------------
//
// A pointing hand, index finger up, its tip at the hot spot (7, 3):
// '#' black outline, 'o' white, '.' see-through.
constexpr const char* HandRows[32] = {
    "................................",
    "................................",
    "................................",
    "......###.......................",
    ".....#ooo#......................",
    ".....#ooo#......................",
    ".....#ooo#......................",
    ".....#ooo#......................",
    ".....#ooo#......................",
    ".....#ooo####...................",
    ".....#ooo#ooo####...............",
    ".....#ooo#ooo#ooo###............",
    ".....#ooo#ooo#ooo#oo#...........",
    ".....#ooo#ooo#ooo#oo#...........",
    ".##..#oooooooooooooo#...........",
    "#oo#.#oooooooooooooo#...........",
    "#ooo##oooooooooooooo#...........",
    ".#oooooooooooooooooo#...........",
    ".#oooooooooooooooooo#...........",
    "..#ooooooooooooooooo#...........",
    "..#oooooooooooooooo#............",
    "...#ooooooooooooooo#............",
    "....#ooooooooooooo#.............",
    ".....#ooooooooooo#..............",
    ".....#ooooooooooo#..............",
    ".....#############..............",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
};

constexpr bool handIsSquare()
{
    for (const char* row : HandRows) {
        int length = 0;
        while (row[length])
            ++length;
        if (length != 32)
            return false;
    }
    return true;
}
static_assert(handIsSquare(), "every row of the hand is 32 pixels");

QImage drawHand()
{
    QImage hand(32, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const char c = HandRows[y][x];
            hand.setPixel(x, y, c == '#' ? qRgba(0, 0, 0, 255) : c == 'o' ? qRgba(255, 255, 255, 255)
                                                                          : qRgba(0, 0, 0, 0));
        }
    return hand;
}

} // namespace

int main(int argc, char** argv)
{
    // It draws into images only, so it needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelvo-draw-art RESOURCES\n");
        return 2;
    }
    const QDir resources(QString::fromLocal8Bit(argv[1]));
    const QString folder = resources.filePath(QStringLiteral("icons"));
    const QString buttonFolder = resources.filePath(QStringLiteral("button"));
    QDir().mkpath(folder);
    QDir().mkpath(buttonFolder);

    // The window icon: 48 x 48 with an alpha channel.
    QImage icon(48, 48, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    {
        QPainter p(&icon);
        drawMark(p, 48);
    }
    // The form's own icon, which the tray shows: 48 x 48, 24 bits, no alpha.
    QImage form(48, 48, QImage::Format_RGB888);
    form.fill(QColor(236, 240, 250));
    {
        QPainter p(&form);
        drawMark(p, 48);
    }
    const QString keyboardFolder = resources.filePath(QStringLiteral("keyboard"));
    const QString settingsFolder = resources.filePath(QStringLiteral("settings"));
    QDir().mkpath(keyboardFolder);
    QDir().mkpath(settingsFolder);
    using art::save;
    const bool ok = save(icon, folder, QStringLiteral("AAAA.png")) && save(form, folder, QStringLiteral("form.png"))
        && drawThemeIcons(resources.filePath(QStringLiteral("icons/theme")))
        && drawFaces(buttonFolder) && save(drawHand(), buttonFolder, QStringLiteral("hand.png"))
        && art::drawKeyFaces(keyboardFolder) && art::drawKeyIcons(keyboardFolder) && art::drawLogos(keyboardFolder)
        && art::drawSettingsArt(settingsFolder);
    return ok ? 0 : 1;
}
