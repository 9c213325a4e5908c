// The keys' icons: 40 x 40, 16 colours with a 1-bit mask. They are shrunk to
// 16-20 pixels by nearest-neighbour copying, so the shapes are bold (strokes
// of eight pixels or more) and the white ones carry a dark outline that keeps
// them apart from grey, light-blue and red faces alike. The same shapes are
// drawn again at 1.25 to 3 times the size for screens with more device
// pixels to the logical pixel.

#include "Art.h"

#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <cmath>
#include <functional>

namespace art {
namespace {

constexpr int Size = 40;

// Sixteen greys from black to white: every icon is black, white or between.
std::vector<QRgb> greys()
{
    std::vector<QRgb> ramp;
    for (int i = 0; i < 16; ++i)
        ramp.push_back(qRgb(i * 17, i * 17, i * 17));
    return ramp;
}

// An arrow pointing right that fills most of the square: a broad head and a
// shaft half its height.
QPainterPath rightArrow()
{
    QPainterPath arrow;
    arrow.moveTo(5, 14);
    arrow.lineTo(19, 14);
    arrow.lineTo(19, 5);
    arrow.lineTo(35, 20);
    arrow.lineTo(19, 35);
    arrow.lineTo(19, 26);
    arrow.lineTo(5, 26);
    arrow.closeSubpath();
    return arrow;
}

// A see-through square for a drawing in the 40 x 40 square's units at
// `ratio` times the size.
QImage blank(double ratio)
{
    const int side = int(std::lround(Size * ratio));
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// Sets `p` up to draw in the 40 x 40 square's units on its image.
void begin(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    if (p.device()->width() != Size)
        p.scale(double(p.device()->width()) / Size, double(p.device()->height()) / Size);
}

// `shape` in white with a dark outline.
QImage whiteShape(const QPainterPath& shape, double ratio)
{
    QImage image = blank(ratio);
    QPainter p(&image);
    begin(p);
    p.setPen(QPen(QColor(51, 51, 51), 3.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::white);
    p.drawPath(shape);
    return image;
}

QPainterPath turned(const QPainterPath& path, double degrees)
{
    QTransform t;
    t.translate(Size / 2.0, Size / 2.0);
    t.rotate(degrees);
    t.translate(-Size / 2.0, -Size / 2.0);
    return t.map(path);
}

// A black arrow pointing left with its tip against a bar at the left edge;
// `mirrored` turns it to point right against a bar at the right edge.
QImage tabArrow(bool mirrored, double ratio)
{
    QPainterPath shape;
    shape.addRect(4, 5, 6, 30);
    QPainterPath arrow;
    arrow.moveTo(12, 20);
    arrow.lineTo(26, 7);
    arrow.lineTo(26, 15);
    arrow.lineTo(37, 15);
    arrow.lineTo(37, 25);
    arrow.lineTo(26, 25);
    arrow.lineTo(26, 33);
    arrow.closeSubpath();
    shape.addPath(arrow);
    if (mirrored)
        shape = QTransform(-1, 0, 0, 1, Size, 0).map(shape);
    QImage image = blank(ratio);
    QPainter p(&image);
    begin(p);
    p.fillPath(shape, Qt::black);
    return image;
}

// A bold letter x: two crossing strokes with square ends.
QPainterPath cross()
{
    QPainterPath stroke;
    stroke.addRect(QRectF(-16, -5, 32, 10));
    QTransform a, b;
    a.translate(Size / 2.0, Size / 2.0);
    a.rotate(45);
    b.translate(Size / 2.0, Size / 2.0);
    b.rotate(-45);
    return a.map(stroke).united(b.map(stroke)).simplified();
}

} // namespace

bool drawKeyIcons(const QString& folder)
{
    const QPainterPath arrow = rightArrow();
    const struct {
        const char* file;
        std::function<QImage(double)> draw;
    } icons[] = {
        {"icon-up.ico", [&](double r) { return whiteShape(turned(arrow, -90), r); }},
        {"icon-right.ico", [&](double r) { return whiteShape(arrow, r); }},
        {"icon-left.ico", [&](double r) { return whiteShape(turned(arrow, 180), r); }},
        {"icon-down.ico", [&](double r) { return whiteShape(turned(arrow, 90), r); }},
        {"icon-tab-left.ico", [](double r) { return tabArrow(false, r); }},
        {"icon-tab-right.ico", [](double r) { return tabArrow(true, r); }},
        {"icon-cross.ico", [](double r) { return whiteShape(cross(), r); }},
    };
    for (const auto& icon : icons) {
        const QString path = QDir(folder).filePath(QString::fromLatin1(icon.file));
        if (!writeIco4(path, icon.draw(1), greys()))
            return false;
        for (const double ratio : Ratios)
            if (!writeIco4(drawnPath(path, ratio), icon.draw(ratio), greys()))
                return false;
    }
    return true;
}

} // namespace art
