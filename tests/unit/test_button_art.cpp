// The button's built-in pictures as the program finds them in its resources:
// the faces must cut their corners and margins to exactly the see-through
// pixels the control's mask expects, and keep the colours it is known by.
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

struct FaceCase {
    const char* path;
    int red, green, blue; // average over the visible pixels
};

// The GIF's transparent palette index as its graphic-control extension gives
// it, or -1 when there is none.
int transparentIndex(const QByteArray& gif)
{
    int pos = 13 + 3 * 256;
    while (pos + 1 < gif.size() && quint8(gif[pos]) == 0x21) {
        if (quint8(gif[pos + 1]) == 0xF9 && pos + 6 < gif.size())
            return (quint8(gif[pos + 3]) & 1) ? quint8(gif[pos + 6]) : -1;
        pos += 2;
        while (pos < gif.size() && quint8(gif[pos]) != 0)
            pos += quint8(gif[pos]) + 1;
        ++pos;
    }
    return -1;
}

} // namespace

TEST(ButtonArt, FacesAreGlossyGifsWithTransparentMarginsAndCorners)
{
    const FaceCase faces[] = {{":/button/face-normal.gif", 86, 114, 217},
                              {":/button/face-over.gif", 151, 174, 241},
                              {":/button/face-down.gif", 169, 192, 251}};
    for (const FaceCase& face : faces) {
        SCOPED_TRACE(face.path);
        QFile file(QString::fromLatin1(face.path));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray gif = file.readAll();
        ASSERT_GT(gif.size(), 13 + 3 * 256);
        EXPECT_TRUE(gif.startsWith("GIF89a"));
        EXPECT_EQ(quint8(gif[10]) & 0x87, 0x87) << "a global colour table of 256 entries";
        EXPECT_GE(transparentIndex(gif), 0) << "one palette entry is transparent";

        QImageReader reader(file.fileName());
        EXPECT_EQ(reader.format(), "gif");
        const QImage image = reader.read();
        ASSERT_EQ(image.size(), QSize(40, 40));

        int transparent = 0, visible = 0, black = 0, body = 0;
        int cornerCut[4] = {0, 0, 0, 0};
        long sum[3] = {0, 0, 0};
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                const QRgb p = image.pixel(x, y);
                const bool margin = y < 3 || y > 35;
                const bool corner = (x < 3 || x > 36) && (y < 6 || y > 32);
                if (qAlpha(p) == 0) {
                    ++transparent;
                    EXPECT_TRUE(margin || corner) << "see-through at " << x << ", " << y;
                    if (!margin)
                        ++cornerCut[(x > 36 ? 1 : 0) + (y > 32 ? 2 : 0)];
                    continue;
                }
                EXPECT_FALSE(margin) << "visible at " << x << ", " << y;
                ++visible;
                sum[0] += qRed(p);
                sum[1] += qGreen(p);
                sum[2] += qBlue(p);
                black += (p & 0xFFFFFF) == 0;
                body += (p & 0xFFFFFF) == 0x354AD6;
            }
        EXPECT_EQ(transparent, 300);
        for (int c : cornerCut)
            EXPECT_EQ(c, 5);
        EXPECT_EQ(black, 0) << "black would turn see-through";
        EXPECT_EQ(visible, 1300);
        if (visible == 0)
            continue;
        EXPECT_NEAR(double(sum[0]) / visible, face.red, 3.0);
        EXPECT_NEAR(double(sum[1]) / visible, face.green, 3.0);
        EXPECT_NEAR(double(sum[2]) / visible, face.blue, 3.0);
        if (face.red == 86) {
            EXPECT_GT(body, 0) << "the Normal face's body is (53, 74, 214)";
        }
    }
}

TEST(ButtonArt, HandPointerIsMonochromeWithTheFingertipAtItsHotSpot)
{
    QImageReader reader(QStringLiteral(":/button/hand.png"));
    const QImage hand = reader.read().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(hand.size(), QSize(32, 32)) << qPrintable(reader.errorString());
    int topRow = -1, tipLeft = 32, tipRight = -1;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb p = hand.pixel(x, y);
            if (qAlpha(p) == 0)
                continue;
            EXPECT_EQ(qAlpha(p), 255) << x << ", " << y;
            EXPECT_TRUE((p & 0xFFFFFF) == 0 || (p & 0xFFFFFF) == 0xFFFFFF) << x << ", " << y;
            if (topRow < 0)
                topRow = y;
            if (y == topRow) {
                tipLeft = std::min(tipLeft, x);
                tipRight = std::max(tipRight, x);
            }
        }
    EXPECT_EQ(qAlpha(hand.pixel(0, 0)), 0);
    // The hot spot (7, 3) is the top of the index finger.
    EXPECT_LE(std::abs(topRow - 3), 1);
    EXPECT_LE(tipLeft, 7);
    EXPECT_GE(tipRight, 7);
    EXPECT_LE(tipRight - tipLeft, 4) << "a fingertip, not a flat edge";
}
