#pragma once
// A picture a control shows: a face bitmap or an icon, shared by reference.
//
// A picture read from a file may have been drawn again for screens with
// more device pixels to the logical pixel: beside "face.gif" lie
// "face@1.25x.gif", "face@1.5x.gif", "face@2x.gif" and "face@3x.gif", the
// same drawing at 1.25, 1.5, 2 and 3 times as many pixels each way. Those
// are read only when a screen of such a ratio asks for them.

#include <QImage>
#include <QString>

#include <map>
#include <memory>

namespace kelvo {

struct Picture {
    enum Kind {
        Bitmap, // drawn by copying it; transparent pixels come out black
        Icon,   // drawn through its own mask, transparent parts stay unchanged
    };

    Kind kind = Bitmap;
    QImage image;   // as drawn for one device pixel to the logical pixel; null for an empty picture
    QString source; // where it was loaded from (a resource path), for saving

    bool isEmpty() const { return image.isNull(); }
    // Stored size in pixels (0 for an empty picture).
    int width() const { return image.width(); }
    int height() const { return image.height(); }

    // The picture as drawn for a screen of `ratio` device pixels to the
    // logical pixel: the drawing for the smallest ratio drawn that is at
    // least `ratio` (the largest drawn, beyond them all), read when first
    // asked for; `image` when it was made in the program, or changed since
    // it was read. Its devicePixelRatio is the ratio it was drawn for.
    const QImage& forRatio(qreal ratio) const;

    // forRatio(ratio) on black, in 32-bit RGB without alpha: what a face is
    // copied from, its see-through pixels black.
    const QImage& onBlack(qreal ratio) const;

private:
    friend std::shared_ptr<Picture> loadPicture(const QString&, Kind);
    struct OnBlack {
        qint64 from = 0; // cacheKey of the drawing it was made from
        QImage image;
    };
    qint64 loaded_ = 0;                   // cacheKey of `image` as read, 0 when made in the program
    mutable std::map<int, QImage> drawn_; // the other drawings read so far, by ratio in hundredths
    mutable std::map<int, OnBlack> onBlack_;
};

using PictureRef = std::shared_ptr<Picture>;

// The image of a resource or file path, read in the format its name says
// (a null image when it cannot be): without first asking every image plugin
// whether it reads it, which loads them all.
QImage readImage(const QString& path);

// An empty picture object (one that holds no image).
PictureRef emptyPicture();

// The picture of a resource or file path, or null when it cannot be read.
PictureRef loadPicture(const QString& path, Picture::Kind kind);

// The ratios, above 1, that pictures are drawn for (tools/kelvo-draw-art
// draws them).
inline constexpr qreal DrawnRatios[] = {1.25, 1.5, 2, 3};

// Where the drawing of `path` for `ratio` lies: "face.gif" at 1.5 is
// "face@1.5x.gif".
inline QString drawnPath(const QString& path, qreal ratio)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    qsizetype dot = path.lastIndexOf(u'.');
    if (dot <= slash)
        dot = path.size();
    return path.left(dot) + u'@' + QString::number(ratio) + u'x' + path.mid(dot);
}

} // namespace kelvo
