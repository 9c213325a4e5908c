#include "button/FontFace.h"

#include <cmath>

namespace kelvo {

namespace {

// Faces the stored forms name that few Linux desktops have, and what stands
// in for them: Liberation Sans has Arial's metrics; DejaVu Sans is close to
// the two dialog faces. The symbol faces only ever draw empty captions.
void substituteMissingFaces()
{
    static const bool done = [] {
        QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
        for (const char* face : {"Tahoma", "MS Sans Serif", "Wingdings 2", "Wingdings 3"})
            QFont::insertSubstitution(QString::fromLatin1(face), QStringLiteral("DejaVu Sans"));
        return true;
    }();
    (void)done;
}

} // namespace

std::optional<int> pixelsOf(double points)
{
    const double pixels = points * 96.0 / 72.0;
    if (!(pixels >= 1 && pixels <= 1000) || pixels != std::floor(pixels))
        return std::nullopt;
    return int(pixels);
}

FontRef makeFont(const FontFace& face)
{
    substituteMissingFaces();
    auto font = std::make_shared<QFont>(face.face);
    font->setPixelSize(pixelsOf(face.points).value_or(11));
    font->setWeight(face.weight >= 600 ? QFont::Bold : QFont::Normal);
    return font;
}

} // namespace kelvo
