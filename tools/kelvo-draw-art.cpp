// Draws the program's pictures into a folder: kelvo-draw-art resources/icons
// The output is committed; run this again after changing a drawing.

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// A glossy blue key cap with a pointer resting on it: the program's mark.
void drawMark(QPainter& p, int size)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF cap(size * 0.06, size * 0.10, size * 0.88, size * 0.80);
    QLinearGradient body(cap.topLeft(), cap.bottomLeft());
    body.setColorAt(0.0, QColor(150, 176, 244));
    body.setColorAt(0.45, QColor(72, 102, 212));
    body.setColorAt(1.0, QColor(38, 60, 160));
    QPainterPath path;
    path.addRoundedRect(cap, size * 0.16, size * 0.16);
    p.fillPath(path, body);
    p.setPen(QPen(QColor(24, 36, 110), size / 32.0));
    p.drawPath(path);

    // Highlight band along the top.
    QPainterPath band;
    band.addRoundedRect(cap.adjusted(size * 0.06, size * 0.04, -size * 0.06, -cap.height() * 0.55),
                        size * 0.10, size * 0.10);
    QLinearGradient shine(band.boundingRect().topLeft(), band.boundingRect().bottomLeft());
    shine.setColorAt(0.0, QColor(255, 255, 255, 170));
    shine.setColorAt(1.0, QColor(255, 255, 255, 20));
    p.fillPath(band, shine);

    // An arrow pointer resting on the cap.
    QPainterPath arrow;
    const double s = size / 48.0;
    const QPointF o(size * 0.40, size * 0.30);
    arrow.moveTo(o);
    arrow.lineTo(o + QPointF(0, 22 * s));
    arrow.lineTo(o + QPointF(5.5 * s, 17 * s));
    arrow.lineTo(o + QPointF(9 * s, 25 * s));
    arrow.lineTo(o + QPointF(12.5 * s, 23.5 * s));
    arrow.lineTo(o + QPointF(9 * s, 15.5 * s));
    arrow.lineTo(o + QPointF(16 * s, 15.5 * s));
    arrow.closeSubpath();
    p.setPen(QPen(Qt::black, 1.4 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
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

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelvo-draw-art FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    // The window icon: 48 x 48 with an alpha channel.
    QImage icon(48, 48, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    {
        QPainter p(&icon);
        drawMark(p, 48);
    }
    // The form's own icon, which the tray shows: 48 x 48, 24 bits, no alpha.
    QImage form(48, 48, QImage::Format_RGB888);
    form.fill(QColor(236, 240, 250));
    {
        QPainter p(&form);
        drawMark(p, 48);
    }
    return save(icon, folder, QStringLiteral("AAAA.png")) && save(form, folder, QStringLiteral("form.png"))
        ? 0 : 1;
}
