#pragma once
// Logical pixels among a screen's device pixels, when one logical pixel is
// `ratio` device pixels wide (1.25, 1.5, 2, ...).
//
// Every place and size stays in logical pixels; only what is drawn is at
// device pixels. The device pixels of a logical range are split as Qt splits
// them when it clips a widget's painting: each logical edge goes to the
// nearest device edge, a half going up. So at 1.5 logical pixel 0 holds
// device pixels 0 and 1, logical pixel 1 only device pixel 2. Keeping to
// the same split means that what a control draws, what its mask holds and
// where the pointer is found all agree to the device pixel.

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRegion>

#include <vector>

namespace kelvo {

// The device edge of logical edge `logical`.
int deviceEdge(int logical, qreal ratio);

// The logical pixel that device pixel `device` belongs to.
int logicalPixelAt(int device, qreal ratio);
QPoint logicalPixelAt(QPoint device, qreal ratio);

// The device pixel under a point given in logical pixels (a pointer's
// position as Qt gives it: the device position divided by the ratio).
QPoint devicePixelUnder(QPointF logical, qreal ratio);

// The device pixels of a logical rectangle or region.
QRect deviceRect(const QRect& logical, qreal ratio);
QRegion deviceRegion(const QRegion& logical, qreal ratio);

// Device pixels that show, one byte each (non-zero shows), row by row.
struct PixelGrid {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> on;

    bool at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height && on[size_t(y) * size_t(width) + size_t(x)];
    }
    // The pixels that show, as a region.
    QRegion region() const;
};

// Takes the outermost pixel off each corner of the outline of what shows:
// a step of whole logical pixels, which a face cut by its logical mask has,
// becomes a slope of single device pixels.
void roundCorners(PixelGrid& grid);

} // namespace kelvo
