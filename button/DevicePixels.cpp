#include "button/DevicePixels.h"

#include <cmath>

namespace kelvo {

int deviceEdge(int logical, qreal ratio)
{
    return qRound(logical * ratio);
}

int logicalPixelAt(int device, qreal ratio)
{
    // A first guess, then the edges themselves decide, so that this is the
    // exact inverse of deviceEdge whatever the rounding of the guess.
    int logical = int(std::floor((device + 0.5) / ratio));
    while (logical > -1000000 && deviceEdge(logical, ratio) > device)
        --logical;
    while (logical < 1000000 && deviceEdge(logical + 1, ratio) <= device)
        ++logical;
    return logical;
}

QPoint logicalPixelAt(QPoint device, qreal ratio)
{
    return {logicalPixelAt(device.x(), ratio), logicalPixelAt(device.y(), ratio)};
}

QPoint devicePixelUnder(QPointF logical, qreal ratio)
{
    // Qt divides whole device positions by the ratio; a hair's margin keeps
    // the product from landing just below the whole number it came from.
    return {int(std::floor(logical.x() * ratio + 1e-6)), int(std::floor(logical.y() * ratio + 1e-6))};
}

QRect deviceRect(const QRect& logical, qreal ratio)
{
    const QPoint from(deviceEdge(logical.left(), ratio), deviceEdge(logical.top(), ratio));
    const QPoint to(deviceEdge(logical.left() + logical.width(), ratio),
                    deviceEdge(logical.top() + logical.height(), ratio));
    return QRect(from, to - QPoint(1, 1));
}

QRegion deviceRegion(const QRegion& logical, qreal ratio)
{
    QRegion device;
    for (const QRect& rect : logical)
        device += deviceRect(rect, ratio);
    return device;
}

void roundCorners(PixelGrid& grid)
{
    // The corners of the outline as it is, before any is taken off: shown
    // pixels with nothing shown on one side across and one side along.
    const int w = grid.width, h = grid.height;
    std::vector<size_t> corners;
    for (int y = 0; y < h; ++y) {
        const unsigned char* row = grid.on.data() + size_t(y) * size_t(w);
        const unsigned char* above = y > 0 ? row - w : nullptr;
        const unsigned char* below = y + 1 < h ? row + w : nullptr;
        for (int x = 0; x < w; ++x) {
            if (!row[x])
                continue;
            const bool openAcross = x == 0 || x + 1 == w || !row[x - 1] || !row[x + 1];
            const bool openAlong = !above || !below || !above[x] || !below[x];
            if (openAcross && openAlong)
                corners.push_back(size_t(y) * size_t(w) + size_t(x));
        }
    }
    for (const size_t at : corners)
        grid.on[at] = 0;
}

QRegion PixelGrid::region() const
{
    // Runs of each row; a row like the one above lengthens its rectangles.
    std::vector<QRect> rects;
    size_t rowStart = 0, previousStart = 0, previousCount = 0;
    for (int y = 0; y < height; ++y) {
        rowStart = rects.size();
        for (int x = 0; x < width;) {
            if (!at(x, y)) {
                ++x;
                continue;
            }
            const int from = x;
            while (at(x, y))
                ++x;
            rects.emplace_back(from, y, x - from, 1);
        }
        const size_t count = rects.size() - rowStart;
        bool same = count == previousCount && count > 0;
        for (size_t i = 0; same && i < count; ++i)
            same = rects[rowStart + i].left() == rects[previousStart + i].left()
                && rects[rowStart + i].width() == rects[previousStart + i].width();
        if (same) {
            for (size_t i = 0; i < count; ++i)
                rects[previousStart + i].setBottom(y);
            rects.resize(rowStart);
        } else {
            previousStart = rowStart;
            previousCount = count;
        }
    }
    QRegion region;
    region.setRects(rects.data(), int(rects.size()));
    return region;
}

} // namespace kelvo
