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

} // namespace kelvo
