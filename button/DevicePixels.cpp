#include "button/DevicePixels.h"

#include <cmath>
#include <vector>

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

QRegion roundCorners(const QRegion& shown, QSize size)
{
    const int w = size.width(), h = size.height();
    std::vector<char> on(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    for (const QRect& rect : shown & QRect(QPoint(0, 0), size))
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                on[size_t(y) * size_t(w) + size_t(x)] = 1;
    const auto at = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < w && y < h && on[size_t(y) * size_t(w) + size_t(x)];
    };
    // The corners of the outline as it is, before any is taken off.
    std::vector<QPoint> corners;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (at(x, y) && (!at(x - 1, y) || !at(x + 1, y)) && (!at(x, y - 1) || !at(x, y + 1)))
                corners.emplace_back(x, y);
    for (const QPoint& p : corners)
        on[size_t(p.y()) * size_t(w) + size_t(p.x())] = 0;

    QRegion rounded;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w;) {
            if (!at(x, y)) {
                ++x;
                continue;
            }
            const int from = x;
            while (at(x, y))
                ++x;
            rounded += QRect(from, y, x - from, 1);
        }
    return rounded;
}

} // namespace kelvo
