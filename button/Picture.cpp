#include "button/Picture.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <vector>

namespace kelvo {

namespace {

int hundredths(qreal ratio)
{
    return qRound(ratio * 100);
}

} // namespace

PictureRef emptyPicture()
{
    return std::make_shared<Picture>();
}

QImage readImage(const QString& path)
{
    // Told the format and not to guess, Qt reads a PNG (its own format, no
    // plugin's) without loading every plugin to ask it.
    QImageReader reader(path, QFileInfo(path).suffix().toLower().toLatin1());
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

PictureRef loadPicture(const QString& path, Picture::Kind kind)
{
    QImage image = readImage(path);
    if (image.isNull())
        return nullptr;
    auto picture = std::make_shared<Picture>();
    picture->kind = kind;
    picture->image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    picture->image.setDevicePixelRatio(1);
    picture->source = path;
    picture->loaded_ = picture->image.cacheKey();
    return picture;
}

const QImage& Picture::forRatio(qreal ratio) const
{
    if (ratio < 1.001 || loaded_ == 0 || image.cacheKey() != loaded_)
        return image;
    // The nearest drawn at or above the ratio, so that copying it over a
    // control only ever leaves pixels out; beyond them all, the largest.
    std::vector<qreal> order;
    for (const qreal drawn : DrawnRatios)
        if (drawn > ratio - 0.001)
            order.push_back(drawn);
    for (auto drawn = std::rbegin(DrawnRatios); drawn != std::rend(DrawnRatios); ++drawn)
        if (*drawn <= ratio - 0.001)
            order.push_back(*drawn);
    for (const qreal drawn : order) {
        const auto [at, added] = drawn_.try_emplace(hundredths(drawn));
        if (added) {
            // A drawing that is not there is remembered as a null image.
            at->second = readImage(drawnPath(source, drawn)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
            if (!at->second.isNull())
                at->second.setDevicePixelRatio(drawn);
        }
        if (!at->second.isNull())
            return at->second;
    }
    return image;
}

const QImage& Picture::onBlack(qreal ratio) const
{
    const QImage& drawing = forRatio(ratio);
    OnBlack& made = onBlack_[hundredths(drawing.devicePixelRatio())];
    if (made.from != drawing.cacheKey() || made.image.isNull()) {
        QImage black(drawing.size(), QImage::Format_RGB32);
        black.setDevicePixelRatio(drawing.devicePixelRatio());
        black.fill(Qt::black);
        if (!drawing.isNull()) {
            QPainter painter(&black);
            painter.drawImage(0, 0, drawing);
        }
        made = {drawing.cacheKey(), black};
    }
    return made.image;
}

} // namespace kelvo
