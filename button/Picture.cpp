#include "button/Picture.h"

#include <QImageReader>

namespace kelvo {

PictureRef emptyPicture()
{
    return std::make_shared<Picture>();
}

PictureRef loadPicture(const QString& path, Picture::Kind kind)
{
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull())
        return nullptr;
    auto picture = std::make_shared<Picture>();
    picture->kind = kind;
    picture->image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    picture->source = path;
    return picture;
}

} // namespace kelvo
