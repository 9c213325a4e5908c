#pragma once
// A picture a control shows: a face bitmap or an icon, shared by reference.

#include <QImage>
#include <QString>

#include <memory>

namespace kelvo {

struct Picture {
    enum Kind {
        Bitmap, // drawn by copying it; transparent pixels come out black
        Icon,   // drawn through its own mask, transparent parts stay unchanged
    };

    Kind kind = Bitmap;
    QImage image;   // null for an empty picture, one that holds no image
    QString source; // where it was loaded from (a resource path), for saving

    bool isEmpty() const { return image.isNull(); }
    // Stored size in pixels (0 for an empty picture).
    int width() const { return image.width(); }
    int height() const { return image.height(); }
};

using PictureRef = std::shared_ptr<Picture>;

// An empty picture object (one that holds no image).
PictureRef emptyPicture();

// The picture of a resource or file path, or null when it cannot be read.
PictureRef loadPicture(const QString& path, Picture::Kind kind);

} // namespace kelvo
