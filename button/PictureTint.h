#pragma once
// Recolours a face picture from its grey levels towards one colour.
//
// Pixels travel as a 24-bit device-independent bitmap would hold them: rows
// bottom row first, three bytes blue, green, red per pixel, each row padded
// to a multiple of four bytes. Every pixel becomes a shade of the tint colour
// scaled by its grey level, plus a brightness offset that pure black pixels
// do not get, so a black (see-through) surround stays black.

#include <QImage>

#include <cstdint>
#include <vector>

namespace kelvo {

class PictureTint {
public:
    // Width and height of the image last read or written, in pixels.
    struct Geometry {
        qint32 width = 0;
        qint32 height = 0;
    };

    // Reads `source`, recolours it towards `color` (red in the lowest byte)
    // with `brightness` added to every component of a non-black pixel, and
    // writes it over `destination`, which must be the same size. A step that
    // cannot be done (no image, a size too large) is skipped.
    void TintPicture(QImage& destination, const QImage& source, qint32 color, qint16 brightness);

    // Number of pixel bytes of the image, without row padding: width x height x 3.
    static qint32 PixelByteCount(const QImage& image);

    // Bytes per padded row for a width in pixels.
    static qint32 RowBytes(qint32 width) { return (width * 3 + 3) & ~3; }

    // Fills `buffer` with the image's pixels in the row format above.
    void ReadPixels(const QImage& image, std::vector<std::uint8_t>& buffer);

    // Replaces the whole image with the buffer's pixels, unscaled.
    void WritePixels(QImage& image, const std::vector<std::uint8_t>& buffer);

    // The value limited to 0..255.
    static qint32 ClampByte(qint32 value) { return value > 255 ? 255 : (value < 0 ? 0 : value); }

    // Recolours `count` pixels of a padded buffer of the given width in place;
    // the row padding is left as it is.
    static void TintRows(std::uint8_t* pixels, qint32 width, qint32 count, qint32 color,
                         qint16 brightness);

    Geometry PictureGeometry;
    std::vector<std::uint8_t> PixelBuffer; // holds pixels during one tint only
};

} // namespace kelvo
