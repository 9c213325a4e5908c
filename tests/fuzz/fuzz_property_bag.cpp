// Builds a property bag from arbitrary bytes, loads it into a button and
// checks what loading promises: a bag is either refused whole with a
// property error, leaving the button as it was, or loaded so that saving and
// loading again gives the same entries; and the button paints every state.
//
// Input: entries one after another, each a key byte (one of the stored keys,
// or a name no key has), a type byte, then the value: 2 bytes for a Boolean
// or a 16-bit number, 4 for a 32-bit one, a length byte and that many UTF-8
// bytes for a string, a size byte for a font, and for a picture a kind byte
// (none, empty, or a small image of the next two bytes' size).

#include "button/ZorvicClick.h"
#include "tests/fuzz/FuzzApplication.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstring>

using namespace kelvo;

namespace {

const char* const Keys[] = {
    "BackColor", "Enabled", "Font", "BackStyle", "BorderStyle", "CaptionColor", "Caption",
    "Tint", "TintColor", "ZorvicStyle", "TintBright", "PicNormal", "PicOver", "PicDown",
    "CustomPic", "ButtonIcon", "ButtonIconShow", "MaskColor", "ButtonIconPos",
    "GradientNormal1", "GradientNormal2", "GradientOver1", "GradientOver2", "GradientDown1",
    "GradientDown2", "GradientStyle", "UpMotion", "UserDrag", "CAPTION", "unknownkey",
};

class Reader {
public:
    Reader(const std::uint8_t* data, size_t size)
        : data_(data)
        , size_(size)
    {
    }
    bool done() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint32_t bytes(int n)
    {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v = v << 8 | byte();
        return v;
    }
    QString text()
    {
        const size_t n = std::min<size_t>(byte(), size_ - std::min(at_, size_));
        const QString t = QString::fromUtf8(reinterpret_cast<const char*>(data_ + at_), qsizetype(n));
        at_ += n;
        return t;
    }

private:
    const std::uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

PropertyValue valueFrom(Reader& in)
{
    switch (in.byte() % 6) {
    case 0: return Boolean{qint16(in.bytes(2))};
    case 1: return qint16(in.bytes(2));
    case 2: return qint32(in.bytes(4));
    case 3: return in.text();
    case 4: {
        auto font = std::make_shared<QFont>(QStringLiteral("DejaVu Sans"));
        font->setPixelSize(1 + in.byte() % 40);
        return font;
    }
    default: {
        const int kind = in.byte() % 3;
        if (kind == 0)
            return PictureRef();
        if (kind == 1)
            return emptyPicture();
        auto picture = std::make_shared<Picture>();
        picture->kind = in.byte() % 2 ? Picture::Icon : Picture::Bitmap;
        picture->image = QImage(1 + in.byte() % 64, 1 + in.byte() % 64, QImage::Format_ARGB32_Premultiplied);
        picture->image.fill(QColor::fromRgba(in.bytes(4)));
        return picture;
    }
    }
}

bool sameEntries(const PropertyBag& a, const PropertyBag& b)
{
    if (a.entries().size() != b.entries().size())
        return false;
    for (size_t i = 0; i < a.entries().size(); ++i) {
        if (a.entries()[i].key != b.entries()[i].key
            || !sameValue(a.entries()[i].value, b.entries()[i].value))
            return false;
    }
    return true;
}

PropertyBag saved(const ZorvicClick& button)
{
    PropertyBag bag;
    button.WriteProperties(bag);
    return bag;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    fuzzApplication();

    Reader in(data, size);
    PropertyBag bag;
    for (int i = 0; !in.done() && i < 64; ++i) {
        const char* key = Keys[in.byte() % std::size(Keys)];
        bag.append(QString::fromLatin1(key), valueFrom(in));
    }

    QWidget host;
    ZorvicClick button(&host);
    button.setGeometry(0, 0, 1 + int(size % 120), 1 + int(size % 50));
    button.InitProperties();
    const PropertyBag before = saved(button);
    try {
        button.ReadProperties(bag);
    } catch (const PropertyError& e) {
        FUZZ_CHECK(std::strlen(e.what()) > 0);
        FUZZ_CHECK(sameEntries(saved(button), before));
        return 0;
    }
    const PropertyBag once = saved(button);
    ZorvicClick copy(&host);
    copy.ReadProperties(once);
    FUZZ_CHECK(sameEntries(saved(copy), once));
    for (int state = -1; state <= 3; ++state)
        button.Redraw(state);
    FUZZ_CHECK(button.faceImage().size() == button.size());
    return 0;
}
