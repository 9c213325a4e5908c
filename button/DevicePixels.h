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

// `shown`, device pixels within a rectangle of `size` from (0, 0), less
// the outermost pixel at each corner of their outline: a step of whole
// logical pixels, which the mask's logical pixels put into a face's outline,
// becomes a slope of single device pixels.
QRegion roundCorners(const QRegion& shown, QSize size);

} // namespace kelvo
