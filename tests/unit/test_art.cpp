// The keyboard's and the settings dialog's pictures as the program finds them
// in its resources: each in the size and format its control relies on, with
// its see-through pixels where the masks expect them, and in the colours its
// role needs, so a swapped or redrawn-wrong picture shows here.
#include "button/Picture.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

namespace {

QByteArray resource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

int byteAt(const QByteArray& data, int pos)
{
    return pos < data.size() ? quint8(data[pos]) : -1;
}

int le16(const QByteArray& data, int pos)
{
    return byteAt(data, pos) | byteAt(data, pos + 1) << 8;
}

// What the GIF says of its palette: the global colour table's size and the
// transparent index of its graphic-control extension (-1 when none).
struct GifPalette {
    int size = 0;
    int transparent = -1;
};

GifPalette gifPalette(const QByteArray& gif)
{
    GifPalette palette;
    if (!gif.startsWith("GIF89a") || (byteAt(gif, 10) & 0x80) == 0)
        return palette;
    palette.size = 2 << (byteAt(gif, 10) & 7);
    int pos = 13 + 3 * palette.size;
    while (byteAt(gif, pos) == 0x21) {
        if (byteAt(gif, pos + 1) == 0xF9)
            return {palette.size, (byteAt(gif, pos + 3) & 1) ? byteAt(gif, pos + 6) : -1};
        pos += 2;
        while (pos < gif.size() && byteAt(gif, pos) != 0)
            pos += byteAt(gif, pos) + 1;
        ++pos;
    }
    return palette;
}

// The PNG's colour type (2 RGB, 6 RGB with alpha), from its header chunk.
int pngColourType(const QByteArray& png)
{
    return png.startsWith("\x89PNG") ? byteAt(png, 25) : -1;
}

struct Average {
    double r = 0, g = 0, b = 0;
    int count = 0;
    double brightness() const { return (r + g + b) / 3; }
};

// Average colour of the opaque pixels of `image` that `take` accepts.
Average average(const QImage& image, const std::function<bool(int, int)>& take = {})
{
    Average a;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) == 0 || (take && !take(x, y)))
                continue;
            a.r += qRed(p);
            a.g += qGreen(p);
            a.b += qBlue(p);
            ++a.count;
        }
    if (a.count) {
        a.r /= a.count;
        a.g /= a.count;
        a.b /= a.count;
    }
    return a;
}

int countPixels(const QImage& image, const std::function<bool(QRgb)>& test)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

bool visibleBlack(QRgb p)
{
    return qAlpha(p) != 0 && (p & 0xFFFFFF) == 0;
}

bool pureGreen(QRgb p)
{
    return qAlpha(p) != 0 && (p & 0xFFFFFF) == 0x00FF00;
}

struct KeyFaceCase {
    int number;
    std::function<bool(const Average&)> look;
    const char* what;
};

bool greyish(const Average& a)
{
    return std::max({a.r, a.g, a.b}) - std::min({a.r, a.g, a.b}) < 20;
}

} // namespace

TEST(KeyArt, FacesAreGlossyBarsWithCutCornersInTheirOwnColours)
{
    const KeyFaceCase faces[] = {
        {1, [](const Average& a) { return greyish(a) && a.brightness() > 150 && a.brightness() < 215; },
         "silver-grey"},
        {2, [](const Average& a) { return a.b > a.g && a.g > a.r + 20 && a.b > 220; }, "light blue"},
        {3, [](const Average& a) { return a.b > a.g && a.g > a.r + 20 && a.b > 180; }, "light blue"},
        {4, [](const Average& a) { return a.r > 180 && a.r > a.g + 80 && a.g > a.b + 30; }, "orange-red"},
        {5, [](const Average& a) { return greyish(a) && a.brightness() > 195; }, "light grey"},
        {6, [](const Average& a) { return a.b >= a.g && a.g >= a.r && a.r > 190 && a.b - a.r < 50; },
         "pale blue-white"},
        {7, [](const Average& a) { return a.b > a.r + 15 && a.r > a.g && a.brightness() < 220; },
         "lavender-grey"},
        {8, [](const Average& a) { return a.r > 200 && a.g > 150 && a.b < 100; }, "golden yellow"},
        {9, [](const Average& a) { return greyish(a) && a.brightness() > 140 && a.brightness() < 215; },
         "silver-grey"},
        {10, [](const Average& a) { return a.r > 170 && a.g < 100 && a.b < 100 && a.g < a.b + 20; }, "red"},
    };
    Average seen[11];
    QImage pictures[11];
    for (const KeyFaceCase& face : faces) {
        const QString path = QStringLiteral(":/keyboard/face-f%1.gif").arg(face.number);
        SCOPED_TRACE(qPrintable(path));
        const QByteArray gif = resource(path);
        const GifPalette palette = gifPalette(gif);
        EXPECT_TRUE(palette.size == 128 || palette.size == 256) << palette.size;
        EXPECT_GE(palette.transparent, 0) << "one palette entry is see-through";

        const QImage image = QImage::fromData(gif).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(100, 40));
        int cut = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 100; ++x) {
                if (qAlpha(image.pixel(x, y)) != 0)
                    continue;
                ++cut;
                EXPECT_TRUE(std::min(x, 99 - x) <= 1 && std::min(y, 39 - y) <= 1) << "see-through at " << x
                                                                                    << ", " << y;
            }
        for (const QPoint corner : {QPoint(0, 0), QPoint(99, 0), QPoint(0, 39), QPoint(99, 39)})
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << ", " << corner.y();
        EXPECT_LE(cut, 16);
        EXPECT_EQ(countPixels(image, visibleBlack), 0) << "black would turn see-through";
        EXPECT_EQ(countPixels(image, pureGreen), 0) << "green is the window's colour key";

        const Average whole = average(image);
        EXPECT_TRUE(face.look(whole)) << "not " << face.what << ": " << whole.r << ", " << whole.g << ", "
                                      << whole.b;
        // The gloss: a light band along the top, darker edges at the sides.
        const Average band = average(image, [](int x, int y) { return y >= 3 && y <= 12 && x > 10 && x < 90; });
        const Average under = average(image, [](int x, int y) { return y >= 20 && y <= 26 && x > 10 && x < 90; });
        const Average sides = average(image, [](int x, int) { return x < 3 || x > 96; });
        EXPECT_GT(band.brightness(), under.brightness() + 15);
        EXPECT_LT(sides.brightness(), under.brightness() - 10);
        seen[face.number] = whole;
        pictures[face.number] = image;
    }
    EXPECT_GT(seen[2].brightness(), seen[3].brightness() + 15) << "F2 is the brighter blue";
    EXPECT_GT(seen[5].brightness(), seen[1].brightness()) << "F5 is lighter than the silver F1";
    EXPECT_NE(pictures[1], pictures[9]) << "F9 is a picture of its own";
}

namespace {

// How far the opaque run across the arrow's axis reaches at `along` (0 the
// tail end of the square, 39 the end the arrow points to).
int spanAcross(const QImage& icon, int along, const std::function<QPoint(int, int)>& at)
{
    int n = 0;
    for (int across = 0; across < 40; ++across)
        n += qAlpha(icon.pixel(at(along, across))) >= 128 ? 1 : 0;
    return n;
}

} // namespace

TEST(KeyArt, IconsAreFourBitIconsWithAMaskAndPointTheirWay)
{
    using Place = std::function<QPoint(int, int)>;
    const Place right = [](int along, int across) { return QPoint(along, across); };
    const Place left = [](int along, int across) { return QPoint(39 - along, across); };
    const Place down = [](int along, int across) { return QPoint(across, along); };
    const Place up = [](int along, int across) { return QPoint(across, 39 - along); };
    const struct {
        const char* name;
        Place way;       // null for the cross
        bool white;      // white with an outline, or black
        bool bar;        // a bar at the end the arrow points to
    } icons[] = {
        {"icon-up.ico", up, true, false},           {"icon-right.ico", right, true, false},
        {"icon-left.ico", left, true, false},       {"icon-down.ico", down, true, false},
        {"icon-tab-left.ico", left, false, true},   {"icon-tab-right.ico", right, false, true},
        {"icon-cross.ico", nullptr, true, false},
    };
    for (const auto& icon : icons) {
        const QString path = QStringLiteral(":/keyboard/") + QString::fromLatin1(icon.name);
        SCOPED_TRACE(qPrintable(path));
        const QByteArray ico = resource(path);
        ASSERT_GE(ico.size(), 22 + 40);
        EXPECT_EQ(le16(ico, 0), 0);
        EXPECT_EQ(le16(ico, 2), 1) << "an icon, not a cursor";
        EXPECT_EQ(le16(ico, 4), 1) << "one image";
        EXPECT_EQ(byteAt(ico, 6), 40);
        EXPECT_EQ(byteAt(ico, 7), 40);
        EXPECT_EQ(le16(ico, 12), 4) << "4 bits per pixel";
        const int at = le16(ico, 18);
        EXPECT_EQ(le16(ico, at + 8), 80) << "colour and mask bitmaps";
        EXPECT_EQ(le16(ico, at + 14), 4);
        // 16 palette entries, 20-byte colour rows and 8-byte mask rows.
        EXPECT_EQ(ico.size(), at + 40 + 64 + 40 * 20 + 40 * 8);

        QImageReader reader(path);
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(40, 40)) << qPrintable(reader.errorString());
        ASSERT_TRUE(image.hasAlphaChannel());
        for (const QPoint corner : {QPoint(0, 0), QPoint(39, 0), QPoint(0, 39), QPoint(39, 39)})
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << "transparent background";
        EXPECT_EQ(qAlpha(image.pixel(20, 20)), 255) << "opaque in the middle";
        const int white = countPixels(image, [](QRgb p) { return qAlpha(p) == 255 && qGray(p) > 230; });
        const int black = countPixels(image, [](QRgb p) { return qAlpha(p) == 255 && qGray(p) < 30; });
        const int opaque = countPixels(image, [](QRgb p) { return qAlpha(p) == 255; });
        EXPECT_GT(opaque, 300) << "bold enough to show at 18 pixels";
        if (icon.white)
            EXPECT_GT(white, opaque / 3);
        else
            EXPECT_GT(black, opaque * 9 / 10);

        if (!icon.way) {
            // A letter x: strokes through the diagonals, open at the sides' middles.
            for (const QPoint p : {QPoint(11, 11), QPoint(28, 11), QPoint(11, 28), QPoint(28, 28)})
                EXPECT_EQ(qAlpha(image.pixel(p)), 255) << p.x() << ", " << p.y();
            for (const QPoint p : {QPoint(20, 4), QPoint(4, 20), QPoint(35, 20), QPoint(20, 35)})
                EXPECT_EQ(qAlpha(image.pixel(p)), 0) << p.x() << ", " << p.y();
            continue;
        }
        if (icon.bar) {
            // The bar stands across the square at the end the arrow points to,
            // the head spreads wider than the shaft behind it.
            EXPECT_GE(spanAcross(image, 33, icon.way), 25);
            EXPECT_GT(spanAcross(image, 16, icon.way), spanAcross(image, 8, icon.way) + 6);
        } else {
            // A shaft-wide tail, a broad head, a narrow tip.
            const int tail = spanAcross(image, 5, icon.way);
            int head = 0;
            for (int along = 20; along <= 30; ++along)
                head = std::max(head, spanAcross(image, along, icon.way));
            EXPECT_GE(tail, 10);
            EXPECT_GT(head, tail + 8);
            EXPECT_LT(spanAcross(image, 35, icon.way), tail / 2);
        }
    }
}

TEST(KeyArt, LogosAreOpaqueDiscsShowingTheNameOrAMouse)
{
    QImage logos[3];
    const char* names[] = {"normal", "over", "down"};
    for (int i = 0; i < 3; ++i) {
        const QString path = QStringLiteral(":/keyboard/logo-%1.png").arg(QString::fromLatin1(names[i]));
        SCOPED_TRACE(qPrintable(path));
        const QByteArray png = resource(path);
        EXPECT_EQ(pngColourType(png), 2) << "24-bit colour without alpha";
        logos[i] = QImage::fromData(png).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(logos[i].size(), QSize(45, 38));
        EXPECT_EQ(countPixels(logos[i], visibleBlack), 0);
        EXPECT_EQ(countPixels(logos[i], pureGreen), 0);
        EXPECT_FALSE(logos[i].hasAlphaChannel() && countPixels(logos[i], [](QRgb p) { return qAlpha(p) < 255; }));
    }
    const auto disc = [](int x, int y) { return (x - 22) * (x - 22) + (y - 18) * (y - 18) < 14 * 14; };
    const auto ground = [&](int x, int y) { return !((x - 22) * (x - 22) + (y - 18) * (y - 18) < 21 * 21); };
    const Average normalDisc = average(logos[0], disc);
    const Average overDisc = average(logos[1], disc);
    const Average normalGround = average(logos[0], ground);
    EXPECT_GT(normalDisc.brightness(), overDisc.brightness() + 30) << "Over's disc is the darker one";
    EXPECT_GT(normalDisc.brightness(), normalGround.brightness() + 60) << "a silver disc on a dark ground";
    EXPECT_GT(normalGround.b, normalGround.r + 30) << "the ground is blue like the keys around it";

    const auto darkInDisc = [&](const QImage& image) {
        int n = 0;
        for (int y = 0; y < 38; ++y)
            for (int x = 0; x < 45; ++x)
                n += disc(x, y) && qGray(image.pixel(x, y)) < 90 ? 1 : 0;
        return n;
    };
    const auto yellow = [](QRgb p) { return qRed(p) > 190 && qGreen(p) > 150 && qBlue(p) < 110; };
    EXPECT_GT(darkInDisc(logos[0]), 25) << "the name in dark letters";
    EXPECT_GT(countPixels(logos[1], yellow), 25) << "the name in yellow";
    EXPECT_EQ(countPixels(logos[0], yellow), 0);
    EXPECT_EQ(countPixels(logos[2], yellow), 0);
    EXPECT_GT(average(logos[2], disc).brightness(), overDisc.brightness()) << "the mouse on a silver disc";
    EXPECT_NE(logos[2], logos[0]);
}

TEST(KeyArt, WindowIconsAre48PixelsTheTrayOneOpaqueTheOtherWithAlpha)
{
    const QByteArray withAlpha = resource(QStringLiteral(":/icons/AAAA.png"));
    EXPECT_EQ(pngColourType(withAlpha), 6) << "32-bit colour with alpha";
    const QImage icon = QImage::fromData(withAlpha).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(48, 48));
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << "see-through around the mark";
    EXPECT_EQ(qAlpha(icon.pixel(24, 24)), 255);

    const QByteArray opaque = resource(QStringLiteral(":/icons/form.png"));
    EXPECT_EQ(pngColourType(opaque), 2) << "24-bit colour without alpha";
    EXPECT_EQ(QImage::fromData(opaque).size(), QSize(48, 48));
}

// The mean difference per channel (0 to 255) of two images of one size,
// their colours weighted by their opacity so see-through pixels compare equal.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage pa = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    double sum = 0;
    for (int y = 0; y < pa.height(); ++y)
        for (int x = 0; x < pa.width(); ++x) {
            const QRgb p = pa.pixel(x, y), q = pb.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q))
                + std::abs(qAlpha(p) - qAlpha(q));
        }
    return sum / (4.0 * pa.width() * pa.height());
}

QImage renderSvg(const QString& path, int size)
{
    QSvgRenderer svg(path);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (!svg.isValid())
        return {};
    QPainter p(&image);
    svg.render(&p);
    return image;
}

// The desktop's icon theme gets the window icon's mark at the sizes menus and
// software centres ask for: the larger pictures and the SVG must be the same
// drawing, not a stale or different one.
TEST(KeyArt, ThemeIconsAreTheWindowIconsMarkAtEverySize)
{
    const QString theme = QStringLiteral(KELVO_SOURCE_DIR "/resources/icons/theme/");
    const QImage window = QImage::fromData(resource(QStringLiteral(":/icons/AAAA.png")));
    ASSERT_EQ(window.size(), QSize(48, 48));
    for (int size : {64, 128, 256}) {
        SCOPED_TRACE(size);
        const QString path = theme + QStringLiteral("kelvo-%1.png").arg(size);
        EXPECT_EQ(pngColourType(resource(path)), 6) << "32-bit colour with alpha";
        const QImage icon(path);
        ASSERT_EQ(icon.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << "see-through around the mark";
        EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), 255);
        const QImage down = icon.scaled(48, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LT(meanDifference(down, window), 4.0) << "scaled to 48 pixels it is the window icon";
        EXPECT_LT(meanDifference(renderSvg(theme + QStringLiteral("kelvo.svg"), size), icon), 1.0)
            << "the SVG drawn at this size is the same picture";
    }
    // At the window icon's own size the SVG draws it all but exactly.
    const QImage svg48 = renderSvg(theme + QStringLiteral("kelvo.svg"), 48);
    ASSERT_FALSE(svg48.isNull()) << "the SVG is readable";
    EXPECT_LT(meanDifference(svg48, window), 0.5);
}

TEST(SettingsArt, PicturesHaveTheirSizesFormatsAndColours)
{
    // The slogan: black script on a see-through ground.
    const QByteArray slogan = resource(QStringLiteral(":/settings/slogan.png"));
    EXPECT_EQ(pngColourType(slogan), 6) << "32-bit with alpha";
    const QImage script = QImage::fromData(slogan).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(script.size(), QSize(255, 42));
    const int inked = countPixels(script, [](QRgb p) { return qAlpha(p) > 128; });
    EXPECT_GT(inked, 600) << "lettering large enough to read";
    EXPECT_LT(inked, 255 * 42 / 3);
    EXPECT_EQ(countPixels(script, [](QRgb p) { return qAlpha(p) > 0 && qGray(p) > 40; }), 0) << "black ink only";

    // The banner: blue-violet, with light lettering where the dialog shows it.
    const QByteArray bannerPng = resource(QStringLiteral(":/settings/banner.png"));
    EXPECT_EQ(pngColourType(bannerPng), 2);
    const QImage banner = QImage::fromData(bannerPng).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(banner.size(), QSize(629, 67));
    const Average bar = average(banner, [](int, int y) { return y >= 15; });
    EXPECT_GT(bar.b, bar.r + 40);
    EXPECT_GT(bar.r, bar.g) << "violet, not plain blue";
    const auto light = [&](int from, int to) {
        int n = 0;
        for (int y = 15; y < 67; ++y)
            for (int x = from; x < to; ++x)
                n += qGray(banner.pixel(x, y)) > 215 ? 1 : 0;
        return n;
    };
    EXPECT_GT(light(0, 150), 150) << "the name at the left";
    EXPECT_GT(light(520, 625), 80) << "the version at the right, short of the clipped edge";
    EXPECT_LT(light(200, 480), 20);
    int aboveShown = 0;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 629; ++x)
            aboveShown += qGray(banner.pixel(x, y)) > 215 ? 1 : 0;
    EXPECT_EQ(aboveShown, 0) << "nothing that matters in the rows the dialog hides";

    // The illustration: keys and a mouse before an orange disc, edges in the
    // dialog's white window background.
    const QByteArray illustrationPng = resource(QStringLiteral(":/settings/illustration.png"));
    EXPECT_EQ(pngColourType(illustrationPng), 2);
    const QImage illustration = QImage::fromData(illustrationPng).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(illustration.size(), QSize(280, 280));
    for (const QPoint corner : {QPoint(0, 0), QPoint(279, 0), QPoint(0, 279), QPoint(279, 279)})
        EXPECT_EQ(illustration.pixel(corner) & 0xFFFFFF, 0xFFFFFFu) << corner.x() << ", " << corner.y();
    const int orange = countPixels(illustration, [](QRgb p) {
        return qRed(p) > 200 && qGreen(p) > 80 && qGreen(p) < 200 && qBlue(p) < 90;
    });
    // Key caps and mouse: light pixels within the disc, off the background.
    const int keyWhite = countPixels(illustration, [](QRgb p) {
        return qRed(p) > 225 && qGreen(p) > 225 && qBlue(p) > 225 && (p & 0xFFFFFF) != 0xFFFFFF;
    });
    EXPECT_GT(orange, 280 * 280 / 5) << "a large orange disc";
    EXPECT_GT(keyWhite, 1500) << "light key caps and mouse before it";
}

TEST(SettingsArt, ButtonFacesCutExactlyTwoCornerPixels)
{
    QImage faces[3];
    const char* names[] = {"normal", "over", "down"};
    for (int i = 0; i < 3; ++i) {
        const QString path = QStringLiteral(":/settings/face-%1.gif").arg(QString::fromLatin1(names[i]));
        SCOPED_TRACE(qPrintable(path));
        const QByteArray gif = resource(path);
        const GifPalette palette = gifPalette(gif);
        EXPECT_TRUE(palette.size == 32 || palette.size == 64 || palette.size == 128) << palette.size;
        EXPECT_GE(palette.transparent, 0);
        faces[i] = QImage::fromData(gif).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(faces[i].size(), QSize(100, 40));
        EXPECT_EQ(countPixels(faces[i], [](QRgb p) { return qAlpha(p) == 0; }), 2);
        EXPECT_EQ(qAlpha(faces[i].pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(faces[i].pixel(99, 39)), 0);
        EXPECT_EQ(countPixels(faces[i], visibleBlack), 0);
        // Black captions must read on every face.
        EXPECT_GT(average(faces[i]).brightness(), 190);
    }
    const auto inner = [](int x, int y) { return x > 2 && x < 97 && y > 2 && y < 37; };
    const Average normal = average(faces[0], inner);
    EXPECT_GT(normal.b, normal.r + 10) << "silver-lavender";
    EXPECT_LT(normal.brightness(), 230) << "flat and tinted, not white";
    const Average overTop = average(faces[1], [](int x, int y) { return x > 2 && x < 97 && y > 2 && y < 15; });
    const Average overBand = average(faces[1], [](int x, int y) { return x > 2 && x < 97 && y > 28 && y < 37; });
    EXPECT_GT(overTop.brightness(), 245) << "white";
    EXPECT_GT(overBand.b, overBand.g + 15) << "a lavender band";
    EXPECT_GT(average(faces[2], inner).brightness(), 240) << "white";
}

// Every face (the dialog's buttons' too), icon and logo is drawn again for
// screens with more device pixels to the logical pixel: each drawing must be
// there, at its size, in the format of the first, and be the same picture,
// not a stale or different one.
TEST(KeyArt, EveryFaceIconAndLogoIsDrawnForEveryRatio)
{
    QStringList paths;
    for (int i = 1; i <= 10; ++i)
        paths << QStringLiteral(":/keyboard/face-f%1.gif").arg(i);
    for (const char* icon : {"up", "right", "left", "down", "tab-left", "tab-right", "cross"})
        paths << QStringLiteral(":/keyboard/icon-%1.ico").arg(QString::fromLatin1(icon));
    for (const char* state : {"normal", "over", "down"})
        paths << QStringLiteral(":/keyboard/logo-%1.png").arg(QString::fromLatin1(state))
              << QStringLiteral(":/button/face-%1.gif").arg(QString::fromLatin1(state))
              << QStringLiteral(":/settings/face-%1.gif").arg(QString::fromLatin1(state));
    for (const QString& path : paths) {
        const QImage one = QImage(path).convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(one.isNull()) << qPrintable(path);
        const bool icon = path.endsWith(QLatin1String(".ico"));
        for (const qreal ratio : kelvo::DrawnRatios) {
            const QString finerPath = kelvo::drawnPath(path, ratio);
            SCOPED_TRACE(qPrintable(finerPath));
            QImageReader reader(finerPath);
            EXPECT_EQ(reader.format(), QImageReader(path).format());
            QImage finer = reader.read().convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(finer.size(), QSize(int(std::lround(one.width() * ratio)), int(std::lround(one.height() * ratio))));
            if (!icon) {
                EXPECT_EQ(countPixels(finer, visibleBlack), 0) << "black would turn see-through";
                EXPECT_EQ(countPixels(finer, pureGreen), 0) << "green is the window's colour key";
            }
            EXPECT_EQ(qAlpha(finer.pixel(finer.width() / 2, finer.height() / 2)), 255);
            finer.setDevicePixelRatio(1);
            EXPECT_LT(meanDifference(finer.scaled(one.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation), one), 6.0);
        }
    }
}
