// The settings dialog's pictures: the slogan, the title banner, the square
// illustration and the three faces of its two buttons.

#include "Art.h"

#include <QDir>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace art {
namespace {

// The dialog's window background, which the illustration's edges fade into.
const QColor WindowBackground(255, 255, 255);

// ---- Slogan -----------------------------------------------------------------

const QString Slogan = QStringLiteral("Just point, and it types.");

QFont scriptFont()
{
    QFont font(QStringLiteral("Z003"));
    font.setItalic(true);
    return font;
}

// Black script on a see-through ground, as large as 255 x 42 allows.
QImage drawSlogan()
{
    QImage image(255, 42, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QFont font = scriptFont();
    int size = 40;
    QRectF box;
    for (; size > 8; --size) {
        font.setPixelSize(size);
        box = QFontMetricsF(font).tightBoundingRect(Slogan);
        if (box.width() <= 245 && box.height() <= 38)
            break;
    }
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QPainterPath text;
    text.addText(QPointF(127.5, 21.0) - box.center(), font, Slogan);
    p.fillPath(text, Qt::black);
    return image;
}

// ---- Banner -----------------------------------------------------------------

// A glossy blue-violet bar. The dialog shows it from row 15 down, so the
// gloss and the text sit in the lower 52 rows.
QImage drawBanner()
{
    constexpr int W = 629, H = 67, Shown = 15;
    QImage image(W, H, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient body(0, Shown, 0, H);
    body.setColorAt(0.0, QColor(128, 118, 236));
    body.setColorAt(0.45, QColor(78, 66, 198));
    body.setColorAt(1.0, QColor(40, 30, 132));
    p.fillRect(QRect(0, 0, W, H), body);

    // Light from the left: the bar brightens behind the product name.
    QRadialGradient glow(QPointF(70, 46), 240);
    glow.setColorAt(0.0, QColor(170, 160, 255, 90));
    glow.setColorAt(1.0, QColor(170, 160, 255, 0));
    p.fillRect(QRect(0, 0, W, H), glow);

    // The gloss over the upper half of what shows.
    QLinearGradient gloss(0, Shown, 0, Shown + 25);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 130));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 25));
    p.fillRect(QRect(0, Shown + 1, W, 25), gloss);
    p.fillRect(QRect(0, Shown, W, 1), QColor(200, 196, 255));
    p.fillRect(QRect(0, H - 2, W, 2), QColor(28, 20, 96));

    auto drawText = [&](const QString& text, int pixels, double x, bool alignRight) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(pixels);
        const QRectF box = QFontMetricsF(font).tightBoundingRect(text);
        // Centred on the rows that show.
        const double baseline = Shown + (H - Shown) / 2.0 - box.center().y();
        const QPointF origin(alignRight ? x - box.right() : x - box.left(), baseline);
        QPainterPath path;
        path.addText(origin, font, text);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(16, 10, 70, 150));
        p.drawPath(path.translated(2, 2));
        QLinearGradient face(0, origin.y() + box.top(), 0, origin.y() + box.bottom());
        face.setColorAt(0.0, QColor(255, 255, 255));
        face.setColorAt(1.0, QColor(214, 210, 255));
        p.setBrush(face);
        p.drawPath(path);
    };
    drawText(QStringLiteral("Kelvo"), 32, 18, false);
    drawText(QStringLiteral("2.0"), 24, W - 22, true);
    p.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

// ---- Illustration -------------------------------------------------------------

// A key cap seen from above and a little in front: a darker skirt below a
// rounded top face with its letter.
void drawKeyCap(QPainter& p, const QRectF& top, const QString& label)
{
    const double radius = 7;
    const QRectF skirt = top.adjusted(-2, 2, 2, 9);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 30, 0, 50));
    p.drawRoundedRect(skirt.translated(3, 4), radius + 2, radius + 2);
    QLinearGradient side(skirt.topLeft(), skirt.bottomLeft());
    side.setColorAt(0.0, QColor(176, 180, 196));
    side.setColorAt(1.0, QColor(118, 122, 142));
    p.setBrush(side);
    p.setPen(QPen(QColor(84, 88, 108), 1.5));
    p.drawRoundedRect(skirt, radius + 2, radius + 2);
    QLinearGradient face(top.topLeft(), top.bottomRight());
    face.setColorAt(0.0, QColor(255, 255, 255));
    face.setColorAt(1.0, QColor(214, 218, 232));
    p.setBrush(face);
    p.setPen(QPen(QColor(150, 154, 176), 1.2));
    p.drawRoundedRect(top, radius, radius);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(int(top.height() * 0.5));
    p.setFont(font);
    p.setPen(QColor(52, 58, 92));
    p.drawText(top, Qt::AlignCenter, label);
}

// The mouse lies at `centre`, turned by `angle` degrees; its cable leaves the
// nose and winds away behind the keys, so it is drawn first.
constexpr double MouseW = 64, MouseH = 100;

void drawIllustrationCable(QPainter& p, const QPointF& centre, double angle)
{
    p.save();
    p.translate(centre);
    p.rotate(angle);
    const double top = -MouseH / 2;
    QPainterPath cable;
    cable.moveTo(0, top + 2);
    cable.cubicTo(0, top - 34, -70, top - 10, -96, top - 70);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(70, 74, 96), 5.0, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);
    p.restore();
}

void drawIllustrationMouse(QPainter& p, const QPointF& centre, double angle)
{
    p.save();
    p.translate(centre);
    p.rotate(angle);
    const double w = MouseW, h = MouseH;
    const QRectF body(-w / 2, -h / 2, w, h);
    drawMouseShell(p, body,
                   {QColor(80, 30, 0, 60), QPointF(6, 8), 0.62, QPointF(-0.22, -0.28), 0.55, QColor(222, 226, 236),
                    QColor(132, 138, 160), QPen(QColor(72, 76, 100), 2.0), QPen(QColor(110, 116, 140), 2.0), 2});
    const double split = body.top() + h * 0.40;
    QLinearGradient wheel(-5, 0, 5, 0);
    wheel.setColorAt(0.0, QColor(50, 54, 78));
    wheel.setColorAt(0.5, QColor(120, 126, 150));
    wheel.setColorAt(1.0, QColor(50, 54, 78));
    p.setPen(Qt::NoPen);
    p.setBrush(wheel);
    p.drawRoundedRect(QRectF(-5, body.top() + 13, 10, 20), 5, 5);
    // A glint on the shell.
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(QRectF(body.left() + 11, split + 9, 11, 24));
    p.restore();
}

QImage drawIllustration()
{
    QImage image(280, 280, QImage::Format_RGB32);
    image.fill(WindowBackground);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The orange disc, with a soft shadow on the window colour.
    const QPointF centre(146, 146);
    const double radius = 110;
    p.setPen(Qt::NoPen);
    for (int i = 8; i >= 1; --i) {
        p.setBrush(QColor(120, 80, 40, 9));
        p.drawEllipse(centre + QPointF(4, 7), radius + i, radius + i);
    }
    QRadialGradient orange(centre, radius, centre + QPointF(-40, -50));
    orange.setColorAt(0.0, QColor(255, 214, 128));
    orange.setColorAt(0.5, QColor(252, 156, 40));
    orange.setColorAt(1.0, QColor(224, 96, 12));
    p.setBrush(orange);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 236, 200, 140), 3.0));
    p.drawArc(QRectF(centre.x() - radius + 6, centre.y() - radius + 6, 2 * (radius - 6), 2 * (radius - 6)),
              40 * 16, 100 * 16);

    const QPointF mouse(200, 196);
    const double mouseAngle = 20;
    drawIllustrationCable(p, mouse, mouseAngle);

    // Keys in two staggered rows, turned a little as if lying on a desk.
    p.save();
    p.translate(116, 112);
    p.rotate(-14);
    const double k = 42, gap = 8;
    const char* upper[] = {"K", "E", "Y"};
    const char* lower[] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i)
        drawKeyCap(p, QRectF(-80 + i * (k + gap), -60, k, k), QString::fromLatin1(upper[i]));
    for (int i = 0; i < 3; ++i)
        drawKeyCap(p, QRectF(-64 + i * (k + gap), -60 + k + gap + 8, k, k), QString::fromLatin1(lower[i]));
    p.restore();

    drawIllustrationMouse(p, mouse, mouseAngle);
    p.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

// ---- Button faces -------------------------------------------------------------

constexpr int FaceW = 100;
constexpr int FaceH = 40;

enum class DialogFace { Normal, Over, Down };

// Only two opposite corner pixels are see-through.
bool dialogVisible(int x, int y)
{
    return !((x == 0 && y == 0) || (x == FaceW - 1 && y == FaceH - 1));
}

// The colour of pixel x, y of the face; `row` is y, or where between rows
// the centre of a finer pixel lies (drawn again for finer screens, the
// shading runs smoothly and the lines keep their logical pixel).
Rgb dialogShade(DialogFace face, int x, int y, double row)
{
    const bool border = x == 0 || y == 0 || x == FaceW - 1 || y == FaceH - 1;
    const double t = (row + 0.5) / FaceH;
    switch (face) {
    case DialogFace::Normal: {
        if (border)
            return {136, 132, 172};
        Rgb c = mix({226, 224, 240}, {196, 192, 220}, t);
        if (y == 1 || x == 1)
            c = mix(c, {255, 255, 255}, 0.6);
        if (y == FaceH - 2 || x == FaceW - 2)
            c = mix(c, {136, 132, 172}, 0.35);
        return c;
    }
    case DialogFace::Over: {
        if (border)
            return {140, 128, 200};
        Rgb c{254, 254, 255};
        // The lavender band across the lower part, softening at its top.
        if (row >= 26)
            c = mix({236, 232, 252}, {196, 186, 238}, (row - 26) / 12.0);
        else if (row >= 23)
            c = mix(c, {236, 232, 252}, (row - 22) / 4.0);
        return c;
    }
    case DialogFace::Down: {
        if (border)
            return {140, 136, 172};
        Rgb c{252, 252, 254};
        // Pressed in: a faint shade under the top and left edges.
        if (y == 1 || x == 1)
            c = {214, 212, 226};
        else if (y == 2 || x == 2)
            c = {236, 235, 242};
        return c;
    }
    }
    return {255, 255, 255};
}

} // namespace

bool drawSettingsArt(const QString& folder)
{
    if (!fontPresent(scriptFont(), "fonts-urw-base35")
        || !fontPresent(QFont(QStringLiteral("DejaVu Sans")), "fonts-dejavu-core"))
        return false;
    if (!save(drawSlogan(), folder, QStringLiteral("slogan.png"))
        || !save(drawBanner(), folder, QStringLiteral("banner.png"))
        || !save(drawIllustration(), folder, QStringLiteral("illustration.png")))
        return false;
    const struct {
        DialogFace face;
        const char* file;
    } faces[] = {{DialogFace::Normal, "face-normal.gif"},
                 {DialogFace::Over, "face-over.gif"},
                 {DialogFace::Down, "face-down.gif"}};
    for (const auto& face : faces) {
        const IndexedImage image = quantise(FaceW, FaceH, 32, dialogVisible,
                                            [&](int x, int y) { return dialogShade(face.face, x, y, y); });
        const Rgb a = averageVisible(image);
        std::printf("settings %s: average (%.1f, %.1f, %.1f)\n", face.file, a.r, a.g, a.b);
        const QString path = QDir(folder).filePath(QString::fromLatin1(face.file));
        if (!writeGif(path, image))
            return false;
        for (const double ratio : Ratios) {
            // Each finer pixel takes the pixel its centre lies in, and the
            // shading where between rows that is.
            const auto at = [ratio](int p) { return (p + 0.5) / ratio; };
            const IndexedImage finer = quantise(
                int(std::lround(FaceW * ratio)), int(std::lround(FaceH * ratio)), 64,
                [&](int x, int y) { return dialogVisible(int(at(x)), int(at(y))); },
                [&](int x, int y) { return dialogShade(face.face, int(at(x)), int(at(y)), at(y) - 0.5); });
            if (!writeGif(drawnPath(path, ratio), finer))
                return false;
        }
    }
    return true;
}

} // namespace art
