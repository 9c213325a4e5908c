// The logo button's three pictures: a shaded disc on a deep blue ground that
// sits well beside the blue letter keys. Each is drawn four times larger and
// scaled down smoothly, which gives the soft, photographic edges.

#include "Art.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <utility>

namespace art {
namespace {

constexpr int Width = 45;
constexpr int Height = 38;
constexpr int Scale = 4;

enum class Logo { Normal, Over, Down };

void drawGround(QPainter& p)
{
    const QRectF all(0, 0, Width * Scale, Height * Scale);
    QRadialGradient ground(all.center(), all.width() * 0.62);
    ground.setColorAt(0.0, QColor(46, 62, 150));
    ground.setColorAt(1.0, QColor(20, 28, 80));
    p.fillRect(all, ground);
}

void drawDisc(QPainter& p, const QPointF& centre, double radius, bool dark)
{
    // A soft shadow below and to the right.
    for (int i = 6; i >= 1; --i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(4, 8, 30, 22));
        p.drawEllipse(centre + QPointF(2.5, 5), radius + i * 1.2, radius + i * 1.2);
    }
    QRadialGradient metal(centre, radius, centre + QPointF(-radius * 0.35, -radius * 0.45));
    if (dark) {
        metal.setColorAt(0.0, QColor(168, 172, 186));
        metal.setColorAt(0.55, QColor(96, 100, 116));
        metal.setColorAt(1.0, QColor(48, 52, 66));
    } else {
        metal.setColorAt(0.0, QColor(255, 255, 255));
        metal.setColorAt(0.55, QColor(204, 208, 216));
        metal.setColorAt(1.0, QColor(132, 136, 148));
    }
    p.setBrush(metal);
    p.setPen(QPen(dark ? QColor(30, 32, 44) : QColor(72, 76, 90), 3.0));
    p.drawEllipse(centre, radius, radius);
    // The bevel: a light rim above, a dark one below.
    QPen upper(QColor(255, 255, 255, dark ? 90 : 200), 3.0);
    p.setPen(upper);
    p.setBrush(Qt::NoBrush);
    const QRectF ring(centre.x() - radius + 4, centre.y() - radius + 4, 2 * radius - 8, 2 * radius - 8);
    p.drawArc(ring, 30 * 16, 120 * 16);
    p.setPen(QPen(QColor(20, 22, 40, 110), 3.0));
    p.drawArc(ring, 210 * 16, 120 * 16);
}

void drawName(QPainter& p, const QPointF& centre, bool yellow)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setStretch(QFont::SemiCondensed);
    // As large as the disc's chord at the letters' height allows.
    const QString name = QStringLiteral("Kelvo");
    QRectF box;
    for (int size = 14 * Scale; size > 4 * Scale; --size) {
        font.setPixelSize(size);
        box = QFontMetricsF(font).tightBoundingRect(name);
        if (box.width() <= 30.5 * Scale)
            break;
    }
    const QPointF origin = centre - box.center();
    QPainterPath text;
    text.addText(origin, font, name);
    p.setPen(Qt::NoPen);
    if (yellow) {
        p.setBrush(QColor(10, 12, 24, 170));
        p.drawPath(text.translated(3, 4));
        QLinearGradient gold(0, origin.y() + box.top(), 0, origin.y() + box.bottom());
        gold.setColorAt(0.0, QColor(255, 246, 150));
        gold.setColorAt(0.5, QColor(255, 214, 30));
        gold.setColorAt(1.0, QColor(226, 160, 10));
        p.setBrush(gold);
    } else {
        // Pressed into the metal: light below, dark letters above it.
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawPath(text.translated(0, 3));
        p.setBrush(QColor(24, 28, 44));
    }
    p.drawPath(text);
}

void drawMouse(QPainter& p, const QPointF& centre)
{
    const double w = 56, h = 88;
    const QRectF body(centre.x() - w / 2, centre.y() - h / 2 + 8, w, h);
    // The cable leaves the top and curls away.
    QPainterPath cable;
    cable.moveTo(body.center().x(), body.top() + 2);
    cable.cubicTo(body.center().x(), body.top() - 16, body.center().x() + 30, body.top() - 4,
                  body.center().x() + 26, body.top() - 26);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 44, 60), 6.0, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);

    drawMouseShell(p, body,
                   {QColor(10, 12, 30, 90), QPointF(4, 5), 0.6, QPointF(-0.2, -0.25), 0.6, QColor(214, 218, 228),
                    QColor(120, 126, 146), QPen(QColor(44, 48, 66), 3.5), QPen(QColor(70, 76, 96), 3.0), 3});
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(56, 62, 84));
    p.drawRoundedRect(QRectF(body.center().x() - 5, body.top() + 12, 10, 20), 5, 5);
    // The left button is the one pressed: a shade on it.
    p.setBrush(QColor(60, 80, 160, 70));
    QPainterPath left;
    left.addRoundedRect(body, w / 2, w / 2);
    QPainterPath quarter;
    quarter.addRect(QRectF(body.left(), body.top(), w / 2 - 1.5, h * 0.40 - 1.5));
    p.drawPath(left.intersected(quarter));
}

// The logo at `ratio` times its size, drawn at least as much larger again.
QImage drawLogo(Logo which, double ratio)
{
    const int larger = ratio > 1.5 ? 2 : 1;
    QImage big(Width * Scale * larger, Height * Scale * larger, QImage::Format_RGB32);
    {
        QPainter p(&big);
        if (larger != 1)
            p.scale(larger, larger);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        drawGround(p);
        const QPointF centre(Width * Scale / 2.0 - 1, Height * Scale / 2.0 - 1);
        const double radius = 17.2 * Scale;
        drawDisc(p, centre, radius, which == Logo::Over);
        if (which == Logo::Down)
            drawMouse(p, centre);
        else
            drawName(p, centre + QPointF(0, 1), which == Logo::Over);
    }
    const int width = int(std::lround(Width * ratio)), height = int(std::lround(Height * ratio));
    QImage small = big.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_RGB888);
    // Pure black and pure green have meanings of their own on the keyboard.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb c = small.pixel(x, y) & 0xFFFFFF;
            if (c == 0x000000 || c == 0x00FF00)
                small.setPixel(x, y, c == 0 ? qRgb(1, 1, 1) : qRgb(0, 254, 0));
        }
    return small;
}

} // namespace

void drawMouseShell(QPainter& p, const QRectF& body, const MouseLook& look)
{
    const double w = body.width(), h = body.height();
    p.setPen(Qt::NoPen);
    p.setBrush(look.shadow);
    p.drawRoundedRect(body.translated(look.shadowOffset), w / 2, w / 2);
    QRadialGradient shell(body.center(), h * look.glowRadius,
                          body.center() + QPointF(w * look.lightFrom.x(), h * look.lightFrom.y()));
    shell.setColorAt(0.0, QColor(255, 255, 255));
    shell.setColorAt(look.midAt, look.mid);
    shell.setColorAt(1.0, look.rim);
    p.setBrush(shell);
    p.setPen(look.outline);
    p.drawRoundedRect(body, w / 2, w / 2);
    const double split = body.top() + h * 0.40;
    p.setPen(look.seams);
    p.drawLine(QPointF(body.left() + look.seamInset, split), QPointF(body.right() - look.seamInset, split));
    p.drawLine(QPointF(body.center().x(), body.top() + look.seamInset - 1), QPointF(body.center().x(), split));
}

bool drawLogos(const QString& folder)
{
    if (!fontPresent(QFont(QStringLiteral("DejaVu Sans")), "fonts-dejavu-core"))
        return false;
    const std::pair<Logo, QString> logos[] = {{Logo::Normal, QStringLiteral("logo-normal.png")},
                                              {Logo::Over, QStringLiteral("logo-over.png")},
                                              {Logo::Down, QStringLiteral("logo-down.png")}};
    for (const auto& [which, name] : logos) {
        if (!save(drawLogo(which, 1), folder, name))
            return false;
        for (const double ratio : Ratios)
            if (!save(drawLogo(which, ratio), folder, drawnPath(name, ratio)))
                return false;
    }
    return true;
}

} // namespace art
