// The button's face: which picture, the tint to the bit, where caption and
// icon go to the pixel, what becomes see-through, and what a failed step
// leaves behind.
#include "button/ZorvicClick.h"

#include <QCursor>
#include <QPainter>

#include <gtest/gtest.h>

using namespace kelvo;

namespace {

PictureRef filled(QSize size, QColor color, Picture::Kind kind = Picture::Bitmap)
{
    auto picture = std::make_shared<Picture>();
    picture->kind = kind;
    picture->image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    picture->image.fill(color);
    return picture;
}

// One pixel as blue, green, red bytes in a padded row buffer.
std::array<int, 3> tinted(int red, int green, int blue, qint32 color, qint16 bright)
{
    std::uint8_t px[4] = {std::uint8_t(blue), std::uint8_t(green), std::uint8_t(red), 0};
    PictureTint::TintRows(px, 1, 1, color, bright);
    return {px[2], px[1], px[0]};
}

class Face : public testing::Test {
protected:
    Face()
    {
        host.resize(300, 200);
        button = new ZorvicClick(&host);
        button->InitProperties();
        button->setGeometry(0, 0, 100, 40);
    }
    const FaceLayout::Rect& rect() const { return button->faceLayout().TextRect; }

    QWidget host;
    ZorvicClick* button;
};

} // namespace

TEST(Tint, ExamplesToTheBit)
{
    using P = std::array<int, 3>;
    // Red at brightness 30: white clamps, mid grey's 157.5 goes to the even 158.
    EXPECT_EQ(tinted(255, 255, 255, 255, 30), (P{255, 30, 30}));
    EXPECT_EQ(tinted(128, 128, 128, 255, 30), (P{158, 30, 30}));
    EXPECT_EQ(tinted(0, 0, 0, 255, 30), (P{0, 0, 0}));
    // The arrow keys' light grey, darkened: the built-in dark blue becomes
    // (69, 69, 69); a grey level below 35 goes black, 35 does not.
    EXPECT_EQ(tinted(53, 74, 214, 0xE0E0E0, -30), (P{69, 69, 69}));
    EXPECT_EQ(tinted(34, 34, 34, 0xE0E0E0, -30), (P{0, 0, 0}));
    EXPECT_EQ(tinted(35, 35, 35, 0xE0E0E0, -30), (P{1, 1, 1}));
    // Grey level 0 but not black: the offset alone.
    EXPECT_EQ(tinted(1, 0, 0, 255, 30), (P{30, 30, 30}));
    EXPECT_EQ(tinted(1, 0, 0, 255, 0), (P{0, 0, 0}));
    EXPECT_EQ(tinted(200, 10, 90, 0, 0), (P{0, 0, 0}));
    // The components come from the raw value, blue in the third byte.
    EXPECT_EQ(tinted(255, 255, 255, 0x804020, 0), (P{32, 64, 128}));
}

TEST(Tint, PaddedRowsBottomFirst)
{
    // 45 pixels make 135 bytes a row, padded to 136; the pad byte is no pixel.
    QImage image(45, 2, QImage::Format_RGB32);
    image.fill(QColor(255, 255, 255));
    image.setPixel(44, 0, qRgb(128, 128, 128)); // last pixel of the top row
    PictureTint tint;
    std::vector<std::uint8_t> buffer;
    tint.ReadPixels(image, buffer);
    ASSERT_EQ(buffer.size(), 2u * 136u);
    EXPECT_EQ(PictureTint::PixelByteCount(image), 45 * 2 * 3);
    // The top row is stored second.
    EXPECT_EQ(buffer[136 + 44 * 3], 128);
    buffer[135] = 0xAB;
    buffer[271] = 0xCD;
    PictureTint::TintRows(buffer.data(), 45, 90, 255, 30);
    EXPECT_EQ(buffer[135], 0xAB);
    EXPECT_EQ(buffer[271], 0xCD);
    tint.WritePixels(image, buffer);
    EXPECT_EQ(image.pixel(44, 0), qRgb(158, 30, 30));
    EXPECT_EQ(image.pixel(0, 1), qRgb(255, 30, 30));

    // Through the whole routine, and a buffer of another size is not written.
    QImage other(45, 2, QImage::Format_RGB32);
    other.fill(Qt::white);
    tint.TintPicture(other, other, 0, 0);
    EXPECT_EQ(other.pixel(10, 1), qRgb(0, 0, 0));
    EXPECT_TRUE(tint.PixelBuffer.empty());
    QImage small(3, 3, QImage::Format_RGB32);
    small.fill(Qt::white);
    tint.WritePixels(small, buffer);
    EXPECT_EQ(small.pixel(1, 1), qRgb(255, 255, 255));
}

TEST_F(Face, CaptionRectangleWithoutIcon)
{
    button->Redraw(StateNormal);
    EXPECT_EQ(rect(), (FaceLayout::Rect{2, 13, 97, 51}));
    // With UpMotion the caption rises while Over and sinks while Down.
    for (int state : {StateOver, StateDown, StateNormal})
        button->Redraw(state);
    EXPECT_EQ(rect().Top, 13);
    button->setUpMotion(true);
    button->Redraw(StateOver);
    EXPECT_FLOAT_EQ(button->faceLayout().FaceOffset, -1.4f);
    EXPECT_EQ(rect(), (FaceLayout::Rect{2, 12, 97, 50}));
    button->Redraw(StateDown);
    EXPECT_EQ(rect().Top, 14);
    // A state outside 0 to 2 keeps the offset.
    button->Redraw(3);
    EXPECT_EQ(rect().Top, 14);
}

TEST_F(Face, IconBesideAndBehindTheCaption)
{
    button->setButtonIcon(filled({32, 32}, Qt::red, Picture::Icon));
    button->setButtonIconShow(true);
    button->setButtonIconPos(IconLeft);
    button->setUpMotion(true);
    button->Redraw(StateOver);
    const FaceLayout& f = button->faceLayout();
    EXPECT_DOUBLE_EQ(f.IconHeight, 36.0);
    EXPECT_DOUBLE_EQ(f.IconWidth, 36.0);
    EXPECT_DOUBLE_EQ(f.IconLeft, 5.0);
    EXPECT_FLOAT_EQ(f.IconTop, 2.0f - 1.4f);
    // Two lines beside the icon; the caption does not move with the offset.
    EXPECT_EQ(rect(), (FaceLayout::Rect{41, 6, 95, 38}));
    // The icon is drawn at its place: red there, the face beside it.
    EXPECT_EQ(button->faceImage().pixel(20, 20), qRgb(255, 0, 0));
    EXPECT_NE(button->faceImage().pixel(3, 20), qRgb(255, 0, 0));

    // Proportions kept at the top and at the right.
    button->setButtonIcon(filled({40, 20}, Qt::red, Picture::Icon));
    button->setButtonIconPos(IconTop);
    EXPECT_DOUBLE_EQ(f.IconWidth, 90.0);
    EXPECT_DOUBLE_EQ(f.IconHeight, 45.0);
    EXPECT_EQ(rect(), (FaceLayout::Rect{5, 47, 95, 38}));
    button->setButtonIconPos(IconRight);
    EXPECT_DOUBLE_EQ(f.IconWidth, 72.0);
    EXPECT_DOUBLE_EQ(f.IconLeft, 95.0 - 72.0);
    EXPECT_EQ(rect().Right, 23);
    // At the bottom the caption is centred in the height above the icon.
    button->setButtonIconPos(IconBottom);
    EXPECT_DOUBLE_EQ(f.IconHeight, 45.0);
    EXPECT_EQ(rect(), (FaceLayout::Rect{5, -10, 95, -7}));

    // Behind the caption: stretched to 90 % whatever its proportions, and the
    // caption centred by its measured height.
    button->setButtonIconPos(IconBehind);
    EXPECT_DOUBLE_EQ(f.IconWidth, 90.0);
    EXPECT_DOUBLE_EQ(f.IconHeight, 36.0);
    const int th = QFontMetrics(*button->Font()).height();
    EXPECT_EQ(rect(), (FaceLayout::Rect{2, int(std::nearbyint((40.0 - th) / 2)), 100, 40}));
}

TEST_F(Face, FailedStepsKeepTheirEarlierValues)
{
    // No icon: its size keeps what the last paint set and the caption is
    // laid out with it (0 on a fresh control).
    button->setButtonIconShow(true);
    button->setButtonIconPos(IconLeft);
    EXPECT_DOUBLE_EQ(button->faceLayout().IconWidth, 0.0);
    EXPECT_EQ(rect(), (FaceLayout::Rect{5, 12, 95, 38}));
    // An empty picture fails the same way.
    button->setButtonIcon(emptyPicture());
    EXPECT_EQ(rect().Left, 5);

    // A square icon beside a square face: the line count divides by zero and
    // the caption's top stays where it was.
    button->resize(40, 40);
    button->setButtonIcon(filled({16, 16}, Qt::red, Picture::Icon));
    EXPECT_DOUBLE_EQ(button->faceLayout().IconWidth, 36.0);
    EXPECT_EQ(rect().Top, 12);

    // A bitmap instead of an icon is measured but not drawn.
    button->resize(100, 40);
    button->setCaption(QString());
    button->setButtonIcon(filled({32, 32}, Qt::red));
    EXPECT_NE(button->faceImage().pixel(20, 20), qRgb(255, 0, 0));
    EXPECT_DOUBLE_EQ(button->faceLayout().IconWidth, 36.0);

    // Position 5: the stretched face alone, neither icon nor caption.
    button->setButtonIcon(filled({32, 32}, Qt::red, Picture::Icon));
    button->setButtonIconPos(5);
    ZorvicClick plain(&host);
    plain.setGeometry(0, 0, 100, 40);
    plain.InitProperties();
    plain.setCaption(QString());
    EXPECT_EQ(button->faceImage(), plain.faceImage());
    // As for any position outside 0 to 4, a caption included.
    button->setCaption("A");
    button->setButtonIconPos(-1);
    EXPECT_EQ(button->faceImage(), plain.faceImage());
}

TEST_F(Face, PicturesPerStateTintAndMask)
{
    // The built-in faces: Normal stretched pixel for pixel, surround black.
    button->setCaption(QString());
    button->resize(40, 40);
    QImage normal(QStringLiteral(":/button/face-normal.gif"));
    ASSERT_FALSE(normal.isNull());
    EXPECT_EQ(button->faceImage().pixel(20, 20), normal.pixel(20, 20));
    EXPECT_EQ(button->faceImage().pixel(20, 0), qRgb(0, 0, 0));
    // Black is see-through: neither shown nor under the pointer.
    EXPECT_FALSE(button->mask().contains(QPoint(20, 0)));
    EXPECT_TRUE(button->mask().contains(QPoint(20, 20)));
    button->setBackStyle(1);
    EXPECT_TRUE(button->mask().isEmpty());
    button->setBackStyle(0);

    // Custom pictures by state; a style without faces keeps the last picture.
    button->setPicNormal(filled({10, 4}, QColor(0, 0, 200)));
    button->setPicDown(filled({10, 4}, QColor(200, 0, 0)));
    button->setCustomPic(true);
    EXPECT_EQ(button->faceImage().pixel(5, 5), qRgb(0, 0, 200));
    button->Redraw(StateDown);
    EXPECT_EQ(button->faceImage().pixel(5, 5), qRgb(200, 0, 0));
    // Over has no picture: all black, so all see-through.
    button->Redraw(StateOver);
    EXPECT_EQ(button->faceImage().pixel(5, 5), qRgb(0, 0, 0));
    EXPECT_FALSE(button->mask().contains(QPoint(5, 5)));
    EXPECT_FALSE(button->mask().contains(QPoint(20, 20)));

    // Tinted, and tinted again when no new picture comes in.
    button->Redraw(StateNormal);
    button->setZorvicStyle(1);
    button->setCustomPic(false);
    EXPECT_EQ(button->faceImage().pixel(5, 5), qRgb(0, 0, 200));
    button->setTintColor(255);
    button->setTintBright(30);
    button->setTint(true);
    // Grey level 66: 30 + 255 x 66 / 256 = 95.7
    EXPECT_EQ(button->faceImage().pixel(5, 5), qRgb(96, 30, 30));
    button->Redraw(3);
    // Grey level 52: 30 + 51.8
    EXPECT_EQ(button->faceImage().pixel(5, 5), qRgb(82, 30, 30));
}

TEST_F(Face, PointerIsAHandPointingUp)
{
    const QCursor cursor = button->cursor();
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), QPoint(7, 3));
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
}
