// Reads arbitrary text as the keyboard window's stored layout and checks what
// reading promises: a layout is refused whole with a message naming its file,
// a line within it and a key, or taken; a taken one is written out and read
// again to the same text; and one that names the keyboard's controls either
// builds the window or is refused, never half-built.
//
// Pictures are not read from disk: any path gives a small picture, except one
// containing "missing", which cannot be read.

#include "keyboard/frmKelvo.h"
#include "keyboard/StoredLayout.h"
#include "platform/fake/FakeKeySender.h"
#include "platform/fake/FakeTone.h"
#include "tests/fuzz/FuzzApplication.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstring>

using namespace kelvo;

namespace {

PictureRef fakePicture(const QString& path, Picture::Kind kind)
{
    if (path.contains(QLatin1String("missing")))
        return nullptr;
    auto picture = std::make_shared<Picture>();
    picture->kind = kind;
    picture->image = QImage(2 + int(path.size() % 7), 2, QImage::Format_ARGB32_Premultiplied);
    picture->image.fill(Qt::gray);
    picture->source = path;
    return picture;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    fuzzApplication();

    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const int lines = int(text.count('\n')) + 1;
    StoredLayout layout;
    try {
        layout = StoredLayout::parse(text, QStringLiteral("fuzz.layout"), fakePicture);
    } catch (const LayoutError& e) {
        FUZZ_CHECK(e.file == QLatin1String("fuzz.layout"));
        FUZZ_CHECK(e.line >= 1 && e.line <= lines);
        FUZZ_CHECK(!e.key.isEmpty());
        FUZZ_CHECK(std::strstr(e.what(), "fuzz.layout:") == e.what());
        return 0;
    }

    const QByteArray once = layout.write();
    StoredLayout again = StoredLayout::parse(once, QStringLiteral("again.layout"), fakePicture);
    FUZZ_CHECK(again.controls.size() == layout.controls.size());
    FUZZ_CHECK(again.write() == once);

    // Building the whole window costs a few milliseconds: only for a layout
    // that could be the keyboard's.
    if (layout.controls.size() < 66)
        return 0;
    FakeKeySender sender;
    FakeTone tone;
    try {
        frmKelvo form(sender, tone, layout);
        for (ZorvicClick* key : form.cmdButton)
            FUZZ_CHECK(key != nullptr);
        FUZZ_CHECK(form.SaveLayout().size() > 0);
    } catch (const LayoutError& e) {
        FUZZ_CHECK(e.line >= 0 && e.line <= lines);
        FUZZ_CHECK(!e.key.isEmpty());
    }
    return 0;
}
