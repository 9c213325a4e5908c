#include "button/PictureTint.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace kelvo {

qint32 PictureTint::PixelByteCount(const QImage& image)
{
    const qint64 bytes = qint64(image.width()) * image.height() * 3;
    return bytes > std::numeric_limits<qint32>::max() ? -1 : qint32(bytes);
}

void PictureTint::ReadPixels(const QImage& image, std::vector<std::uint8_t>& buffer)
{
    PictureGeometry = {image.width(), image.height()};
    const qint32 row = RowBytes(PictureGeometry.width);
    buffer.assign(size_t(row) * size_t(PictureGeometry.height), 0);
    const QImage rgb = image.format() == QImage::Format_RGB32
        ? image
        : image.convertToFormat(QImage::Format_RGB32);
    for (qint32 y = 0; y < PictureGeometry.height; ++y) {
        // The bottom row comes first.
        std::uint8_t* out = buffer.data() + size_t(PictureGeometry.height - 1 - y) * size_t(row);
        const QRgb* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (qint32 x = 0; x < PictureGeometry.width; ++x) {
            *out++ = std::uint8_t(qBlue(in[x]));
            *out++ = std::uint8_t(qGreen(in[x]));
            *out++ = std::uint8_t(qRed(in[x]));
        }
    }
}

void PictureTint::WritePixels(QImage& image, const std::vector<std::uint8_t>& buffer)
{
    PictureGeometry = {image.width(), image.height()};
    const qint32 row = RowBytes(PictureGeometry.width);
    // A buffer laid out for another size would be read past its end.
    if (buffer.size() != size_t(row) * size_t(PictureGeometry.height))
        return;
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    for (qint32 y = 0; y < PictureGeometry.height; ++y) {
        const std::uint8_t* in = buffer.data() + size_t(PictureGeometry.height - 1 - y) * size_t(row);
        QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (qint32 x = 0; x < PictureGeometry.width; ++x, in += 3)
            out[x] = qRgb(in[2], in[1], in[0]);
    }
}

void PictureTint::TintRows(std::uint8_t* pixels, qint32 width, qint32 count, qint32 color,
                           qint16 brightness)
{
    const double tint[3] = {double(color & 255), double((color / 256) & 255),
                            double((color / 65536) & 255)}; // red, green, blue
    // A pixel's new colour depends only on its grey level (0..255) and on
    // whether it is pure black, so each level is worked out once.
    std::array<std::array<std::uint8_t, 3>, 256> shade;
    for (int grey = 0; grey < 256; ++grey) {
        const double lum = grey / 256.0;
        for (int c = 0; c < 3; ++c)
            shade[grey][c] = std::uint8_t(ClampByte(qint32(std::nearbyint(brightness + tint[c] * lum))));
    }
    const qint32 row = RowBytes(width);
    for (qint32 done = 0; done < count && width > 0; pixels += row) {
        const qint32 inRow = std::min(width, count - done);
        std::uint8_t* p = pixels;
        for (qint32 x = 0; x < inRow; ++x, p += 3) {
            const int sum = p[0] + p[1] + p[2];
            if (sum == 0)
                continue; // black stays black: no offset, and lum is 0
            const std::array<std::uint8_t, 3>& s = shade[sum / 3];
            p[2] = s[0];
            p[1] = s[1];
            p[0] = s[2];
        }
        done += inRow;
    }
}

void PictureTint::TintPicture(QImage& destination, const QImage& source, qint32 color,
                              qint16 brightness)
{
    if (!source.isNull())
        ReadPixels(source, PixelBuffer);
    const qint32 bytes = PixelByteCount(source);
    // The pixels the buffer holds, as far as the source says it has them.
    if (bytes >= 0 && PixelBuffer.size() >= size_t(RowBytes(source.width())) * size_t(source.height()))
        TintRows(PixelBuffer.data(), source.width(), bytes / 3, color, brightness);
    if (!destination.isNull())
        WritePixels(destination, PixelBuffer);
    PixelBuffer.clear();
    PixelBuffer.shrink_to_fit();
}

} // namespace kelvo
