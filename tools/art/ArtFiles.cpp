// The file writers and the palette reduction shared by every drawing.

#include "Art.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>

namespace art {

double insideRounded(double x, double y, double left, double top, double right, double bottom, double radius)
{
    const double dx = std::max({left + radius - x, x - (right - radius), 0.0});
    const double dy = std::max({top + radius - y, y - (bottom - radius), 0.0});
    if (dx > 0 && dy > 0)
        return radius - std::hypot(dx, dy);
    return std::min({x - left, right - x, y - top, bottom - y});
}

Rgb mix(Rgb a, Rgb b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

bool save(const QImage& image, const QString& folder, const QString& name)
{
    const QString path = QDir(folder).filePath(name);
    if (!image.save(path)) {
        std::fprintf(stderr, "kelvo-draw-art: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool fontPresent(const QFont& font, const char* package)
{
    // Qt names the foundry after the family when several provide it: "Z003 [urw]".
    const QString found = QFontInfo(font).family();
    if (found.section(QStringLiteral(" ["), 0, 0).compare(font.family(), Qt::CaseInsensitive) == 0)
        return true;
    std::fprintf(stderr, "kelvo-draw-art: the font \"%s\" is missing (found \"%s\"); install the package %s\n",
                 qPrintable(font.family()), qPrintable(found), package);
    return false;
}

namespace {

int writeToFile(GifFileType* gif, const GifByteType* bytes, int length)
{
    auto* file = static_cast<QFile*>(gif->UserData);
    return int(file->write(reinterpret_cast<const char*>(bytes), length));
}

using Colour = std::array<int, 3>;

Colour rounded(Rgb c)
{
    auto channel = [](double v) { return std::clamp(int(std::lround(v)), 0, 255); };
    return {channel(c.r), channel(c.g), channel(c.b)};
}

// A box of the median cut: a run of the distinct colours with their counts.
struct Box {
    size_t first, last; // [first, last) in the colour list
    int channel;        // channel of the widest spread
    int spread;         // that spread
};

Box measure(const std::vector<std::pair<Colour, int>>& colours, size_t first, size_t last)
{
    Box box{first, last, 0, -1};
    for (int c = 0; c < 3; ++c) {
        int low = 255, high = 0;
        for (size_t i = first; i < last; ++i) {
            low = std::min(low, colours[i].first[c]);
            high = std::max(high, colours[i].first[c]);
        }
        if (high - low > box.spread) {
            box.spread = high - low;
            box.channel = c;
        }
    }
    return box;
}

// The one colour of `box`: its pixels' average.
Colour average(const std::vector<std::pair<Colour, int>>& colours, const Box& box)
{
    double sum[3] = {0, 0, 0};
    double count = 0;
    for (size_t i = box.first; i < box.last; ++i) {
        for (int c = 0; c < 3; ++c)
            sum[c] += double(colours[i].first[c]) * colours[i].second;
        count += colours[i].second;
    }
    return {int(std::lround(sum[0] / count)), int(std::lround(sum[1] / count)), int(std::lround(sum[2] / count))};
}

// Reduces the counted colours to at most `limit` by median cut.
std::vector<Colour> reduce(std::vector<std::pair<Colour, int>> colours, size_t limit)
{
    if (colours.size() <= limit) {
        std::vector<Colour> all;
        for (const auto& entry : colours)
            all.push_back(entry.first);
        return all;
    }
    std::vector<Box> boxes{measure(colours, 0, colours.size())};
    while (boxes.size() < limit) {
        // Split the box whose colours spread widest, at its pixels' median.
        auto widest = std::max_element(boxes.begin(), boxes.end(),
                                       [](const Box& a, const Box& b) { return a.spread < b.spread; });
        if (widest->spread <= 0)
            break;
        const Box box = *widest;
        std::sort(colours.begin() + long(box.first), colours.begin() + long(box.last),
                  [&](const auto& a, const auto& b) { return a.first[box.channel] < b.first[box.channel]; });
        long total = 0;
        for (size_t i = box.first; i < box.last; ++i)
            total += colours[i].second;
        long seen = 0;
        size_t cut = box.first + 1;
        for (size_t i = box.first; i < box.last - 1; ++i) {
            seen += colours[i].second;
            cut = i + 1;
            if (seen * 2 >= total)
                break;
        }
        *widest = measure(colours, box.first, cut);
        boxes.push_back(measure(colours, cut, box.last));
    }
    std::vector<Colour> palette;
    for (const Box& box : boxes)
        palette.push_back(average(colours, box));
    return palette;
}

} // namespace

IndexedImage quantise(int width, int height, int paletteSize, const std::function<bool(int, int)>& visible,
                      const std::function<Rgb(int, int)>& colour)
{
    IndexedImage image;
    if (paletteSize < 2 || paletteSize > 256 || (paletteSize & (paletteSize - 1)) != 0)
        return image;
    std::vector<Colour> shade(size_t(width) * height);
    std::map<Colour, int> counts;
    std::vector<std::pair<Colour, int>> order; // distinct colours, first seen first
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (!visible(x, y))
                continue;
            const Colour c = rounded(colour(x, y));
            shade[size_t(y) * width + x] = c;
            if (counts[c]++ == 0)
                order.push_back({c, 0});
        }
    for (auto& entry : order)
        entry.second = counts[entry.first];
    std::vector<Colour> palette = reduce(order, size_t(paletteSize) - 1);
    for (Colour& c : palette) {
        if (c == Colour{0, 0, 0})
            c = {1, 1, 1};
        if (c == Colour{0, 255, 0})
            c = {0, 254, 0};
    }

    image.width = width;
    image.height = height;
    image.transparent = 0;
    image.pixels.assign(size_t(width) * height, 0);
    image.palette.assign(size_t(paletteSize), GifColorType{0, 0, 0});
    for (size_t i = 0; i < palette.size(); ++i)
        image.palette[i + 1] = GifColorType{GifByteType(palette[i][0]), GifByteType(palette[i][1]),
                                            GifByteType(palette[i][2])};
    std::map<Colour, int> nearest;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (!visible(x, y))
                continue;
            const Colour c = shade[size_t(y) * width + x];
            auto found = nearest.find(c);
            if (found == nearest.end()) {
                int best = 0;
                long bestDistance = -1;
                for (size_t i = 0; i < palette.size(); ++i) {
                    long d = 0;
                    for (int k = 0; k < 3; ++k)
                        d += long(c[k] - palette[i][k]) * (c[k] - palette[i][k]);
                    if (bestDistance < 0 || d < bestDistance) {
                        bestDistance = d;
                        best = int(i) + 1;
                    }
                }
                found = nearest.emplace(c, best).first;
            }
            image.pixels[size_t(y) * width + x] = GifByteType(found->second);
        }
    return image;
}

Rgb averageVisible(const IndexedImage& image)
{
    double sum[3] = {0, 0, 0};
    long count = 0;
    for (GifByteType index : image.pixels) {
        if (index == image.transparent)
            continue;
        const GifColorType& c = image.palette[index];
        sum[0] += c.Red;
        sum[1] += c.Green;
        sum[2] += c.Blue;
        ++count;
    }
    if (count == 0)
        return {0, 0, 0};
    return {sum[0] / count, sum[1] / count, sum[2] / count};
}

bool writeGif(const QString& path, const IndexedImage& image)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "kelvo-draw-art: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    int error = E_GIF_SUCCEEDED;
    GifFileType* gif = EGifOpen(&file, writeToFile, &error);
    if (!gif) {
        std::fprintf(stderr, "kelvo-draw-art: cannot write %s: %s\n", qPrintable(path), GifErrorString(error));
        return false;
    }
    // The transparent colour is a GIF89a graphic-control extension.
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = GifMakeMapObject(int(image.palette.size()), image.palette.data());
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSAL_UNSPECIFIED;
    control.UserInputFlag = false;
    control.DelayTime = 0;
    control.TransparentColor = image.transparent;
    GifByteType extension[4];
    const size_t extensionSize = EGifGCBToExtension(&control, extension);
    bool ok = map && EGifPutScreenDesc(gif, image.width, image.height, 8, 0, map) == GIF_OK
        && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(extensionSize), extension) == GIF_OK
        && EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < image.height; ++y)
        ok = EGifPutLine(gif, const_cast<GifByteType*>(&image.pixels[size_t(y) * image.width]), image.width)
            == GIF_OK;
    if (!ok)
        error = gif->Error;
    GifFreeMapObject(map);
    int closeError = E_GIF_SUCCEEDED;
    if (EGifCloseFile(gif, &closeError) != GIF_OK && ok) {
        ok = false;
        error = closeError;
    }
    if (!ok)
        std::fprintf(stderr, "kelvo-draw-art: cannot write %s: %s\n", qPrintable(path), GifErrorString(error));
    return ok && file.flush();
}

namespace {

void putLe16(QByteArray& out, int v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void putLe32(QByteArray& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

} // namespace

bool writeIco4(const QString& path, const QImage& source, const std::vector<QRgb>& palette)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width(), h = image.height();
    if (palette.size() != 16 || w < 1 || h < 1 || w > 256 || h > 256) {
        std::fprintf(stderr, "kelvo-draw-art: %s: a 4-bit icon takes 16 colours and 1 to 256 pixels a side\n",
                     qPrintable(path));
        return false;
    }
    // Rows of the colour (XOR) and mask (AND) bitmaps are padded to 4 bytes.
    const int xorStride = ((w * 4 + 31) / 32) * 4;
    const int andStride = ((w + 31) / 32) * 4;
    const int imageSize = 40 + 16 * 4 + (xorStride + andStride) * h;

    QByteArray out;
    // ICONDIR: reserved, type 1 (icon), one image.
    putLe16(out, 0);
    putLe16(out, 1);
    putLe16(out, 1);
    // ICONDIRENTRY: size (0 means 256), 16 colours, planes, bits, bytes, offset.
    out.append(char(w == 256 ? 0 : w));
    out.append(char(h == 256 ? 0 : h));
    out.append(char(16));
    out.append(char(0));
    putLe16(out, 1);
    putLe16(out, 4);
    putLe32(out, quint32(imageSize));
    putLe32(out, 6 + 16);
    // BITMAPINFOHEADER; the height counts the colour and the mask bitmaps.
    putLe32(out, 40);
    putLe32(out, quint32(w));
    putLe32(out, quint32(2 * h));
    putLe16(out, 1);
    putLe16(out, 4);
    putLe32(out, 0); // no compression
    putLe32(out, quint32((xorStride + andStride) * h));
    putLe32(out, 0);
    putLe32(out, 0);
    putLe32(out, 16);
    putLe32(out, 0);
    for (QRgb c : palette) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }
    auto nearestIndex = [&](QRgb c) {
        int best = 0;
        int bestDistance = -1;
        for (int i = 0; i < 16; ++i) {
            const int dr = qRed(c) - qRed(palette[i]), dg = qGreen(c) - qGreen(palette[i]),
                      db = qBlue(c) - qBlue(palette[i]);
            const int d = dr * dr + dg * dg + db * db;
            if (bestDistance < 0 || d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        return best;
    };
    // Both bitmaps run bottom-up. A see-through pixel has its mask bit set and
    // colour index 0, so it leaves the background unchanged when drawn.
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(xorStride, 0);
        for (int x = 0; x < w; ++x) {
            const QRgb p = image.pixel(x, y);
            const int index = qAlpha(p) >= 128 ? nearestIndex(p) : 0;
            row[x / 2] = char(quint8(row[x / 2]) | (x % 2 == 0 ? index << 4 : index));
        }
        out.append(row);
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(andStride, 0);
        for (int x = 0; x < w; ++x)
            if (qAlpha(image.pixel(x, y)) < 128)
                row[x / 8] = char(quint8(row[x / 8]) | (0x80 >> (x % 8)));
        out.append(row);
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(out) != out.size() || !file.flush()) {
        std::fprintf(stderr, "kelvo-draw-art: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace art
