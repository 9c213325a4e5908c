// The keyboard on screens with more device pixels to the logical pixel: the
// faces are painted at the device pixels, from the pictures drawn for them,
// while every place, text rectangle and mask stays in logical pixels as at
// one device pixel to the logical pixel; the window's shape follows the
// faces to the device pixel; a tint works on the finer picture as on the
// coarse one; the pointer is matched to the key whose device pixels hold it.
#include "button/DevicePixels.h"
#include "button/ZorvicClick.h"
#include "keyboard/Main.h"
#include "keyboard/frmKelvo.h"
#include "platform/fake/FakeKeySender.h"
#include "platform/fake/FakeTone.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QMouseEvent>
#include <QtGui/private/qhighdpiscaling_p.h>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace kelvo;

namespace {

// A screen of Qt's offscreen platform with `ratio` device pixels to the
// logical pixel, added beside the others the first time it is asked for.
QScreen* screenOfRatio(qreal ratio)
{
    const QString name = QStringLiteral("ratio %1").arg(ratio);
    const auto find = [&]() -> QScreen* {
        for (QScreen* screen : QGuiApplication::screens())
            if (screen->name() == name)
                return screen;
        return nullptr;
    };
    if (QScreen* screen = find())
        return screen;
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    using Get = QJsonObject (*)(QPlatformNativeInterface*);
    using Set = void (*)(const QJsonObject&, QPlatformNativeInterface*);
    const auto get = reinterpret_cast<Get>(native->nativeResourceForIntegration("configuration"));
    const auto set = reinterpret_cast<Set>(native->nativeResourceForIntegration("setConfiguration"));
    if (!get || !set)
        return nullptr;
    QJsonObject configuration = get(native);
    QJsonArray screens = configuration[QStringLiteral("screens")].toArray();
    screens.append(QJsonObject{{"name", name}, {"x", 2000 * int(screens.size())}, {"y", 0},
                               {"width", 1000}, {"height", 800}});
    configuration[QStringLiteral("screens")] = screens;
    set(configuration, native);
    // The ratio as Qt's own scaling gives it (QT_SCALE_FACTOR's way): the
    // offscreen platform's windows keep a ratio of 1 on a screen of another
    // from Qt 6.6 on.
    QScreen* screen = find();
    if (screen)
        QHighDpiScaling::setScreenFactor(screen, ratio);
    return screen;
}

// Shows `window` on the screen of `ratio`.
void showAt(QWidget& window, qreal ratio)
{
    QScreen* screen = ratio == 1 ? QGuiApplication::primaryScreen() : screenOfRatio(ratio);
    ASSERT_TRUE(screen) << "the offscreen platform takes no screen of ratio " << ratio;
    window.setScreen(screen);
    window.move(screen->geometry().topLeft() + QPoint(10, 10));
    window.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(window.devicePixelRatioF(), ratio);
}

// What a control's face says of its logical layout.
struct Logical {
    QRect geometry;
    FaceLayout::Rect text;
    double iconLeft, iconWidth, iconHeight;
    float iconTop;
    QRegion mask;
    bool operator==(const Logical&) const = default;
};

Logical logicalOf(const ZorvicClick* c)
{
    const FaceLayout& f = c->faceLayout();
    return {c->geometry(), f.TextRect, f.IconLeft, f.IconWidth, f.IconHeight, f.IconTop, c->mask()};
}

// Steps of the outline of `shown` (device pixels) that are two or more
// pixels both along and across: the blocks a logical shape scaled up has.
// A curve drawn at the device pixels steps by one pixel across, whatever it
// steps along.
int blockySteps(const QRegion& shown)
{
    const QRect box = shown.boundingRect();
    // Each row's first and last pixel; rows run alike while both stay.
    std::vector<std::pair<int, int>> rows;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        const QRegion row = shown & QRect(box.left(), y, box.width(), 1);
        if (!row.isEmpty())
            rows.emplace_back(row.boundingRect().left(), row.boundingRect().right());
    }
    int blocky = 0;
    for (int edge = 0; edge < 2; ++edge) {
        std::vector<std::pair<int, int>> runs; // position, rows
        for (const auto& row : rows) {
            const int at = edge == 0 ? row.first : row.second;
            if (!runs.empty() && runs.back().first == at)
                ++runs.back().second;
            else
                runs.emplace_back(at, 1);
        }
        for (size_t i = 1; i < runs.size(); ++i)
            blocky += std::abs(runs[i].first - runs[i - 1].first) >= 2 && runs[i].second >= 2
                && runs[i - 1].second >= 2;
    }
    return blocky;
}

} // namespace

TEST(Scale, KeyboardKeepsItsLogicalLayoutAndItsShapeFollowsTheDevicePixels)
{
    FakeKeySender sender;
    FakeTone tone;
    std::map<QString, Logical> atOne;
    QRegion maskAtOne;
    {
        frmKelvo form(sender, tone);
        form.Form_Load();
        showAt(form, 1);
        for (const ZorvicClick* c : form.findChildren<ZorvicClick*>())
            atOne[c->objectName()] = logicalOf(c);
        maskAtOne = form.mask();
    }
    ASSERT_EQ(atOne.size(), 65u);
    for (const qreal ratio : {1.5, 2.0}) {
        SCOPED_TRACE(ratio);
        frmKelvo form(sender, tone);
        form.Form_Load();
        showAt(form, ratio);
        EXPECT_EQ(form.mask(), maskAtOne);
        const QRegion shape = DeviceShape(&form);
        // Nothing of the shape lies outside the logical pixels the keys take.
        EXPECT_TRUE((shape - deviceRegion(maskAtOne, ratio)).isEmpty());
        for (const ZorvicClick* c : form.findChildren<ZorvicClick*>()) {
            SCOPED_TRACE(qPrintable(c->objectName()));
            EXPECT_TRUE(logicalOf(c) == atOne[c->objectName()]);
            const QRect area = deviceRect(c->geometry(), ratio);
            EXPECT_EQ(c->faceImage().size(), area.size());
            EXPECT_EQ(c->faceImage().devicePixelRatio(), ratio);
            // A click anywhere inside a key, two logical pixels in from its
            // outline, lands on it.
            QRegion inner = c->mask().isEmpty() ? QRegion(c->rect()) : c->mask();
            for (int ring = 0; ring < 2; ++ring)
                inner &= inner.translated(1, 0) & inner.translated(-1, 0) & inner.translated(0, 1)
                    & inner.translated(0, -1);
            EXPECT_TRUE((deviceRegion(inner.translated(c->pos()), ratio) - shape).isEmpty());
            // And its outline is drawn at the device pixels.
            EXPECT_EQ(blockySteps(shape & area), 0);
        }
    }
}

TEST(Scale, TintWorksOnThePictureDrawnForTheScreen)
{
    // A picture of 15 x 6 pixels, a width whose rows need padding in the
    // tint's buffer, drawn again at 1.5 and 2 times as many pixels each way.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage one(15, 6, QImage::Format_RGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 15; ++x)
            one.setPixel(x, y, qRgb(40 + 8 * x, 60 + 10 * y, 90 + 4 * x + 4 * y));
    const QString path = dir.filePath(QStringLiteral("gradient.png"));
    ASSERT_TRUE(one.save(path));
    for (const qreal ratio : {1.5, 2.0})
        ASSERT_TRUE(one.scaled(qRound(15 * ratio), qRound(6 * ratio), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .save(drawnPath(path, ratio)));
    const PictureRef picture = loadPicture(path, Picture::Bitmap);
    ASSERT_TRUE(picture);
    // The drawing for a ratio is the nearest drawn at or above it, else the
    // largest; one made in the program has only itself.
    EXPECT_EQ(picture->forRatio(1).size(), QSize(15, 6));
    EXPECT_EQ(picture->forRatio(1.25).size(), QSize(23, 9));
    EXPECT_EQ(picture->forRatio(1.75).size(), QSize(30, 12));
    EXPECT_EQ(picture->forRatio(3).devicePixelRatio(), 2);
    const auto copy = std::make_shared<Picture>(*picture);
    copy->image = one;
    EXPECT_EQ(copy->forRatio(2).size(), QSize(15, 6));

    std::map<qreal, QImage> faces;
    for (const qreal ratio : {1.0, 1.5, 2.0}) {
        QWidget host;
        auto* button = new ZorvicClick(&host);
        button->setGeometry(0, 0, 15, 6);
        button->InitProperties();
        button->setCaption(QString());
        button->setPicNormal(picture);
        button->setCustomPic(true);
        button->setTintColor(0x4080C0);
        button->setTintBright(-20);
        button->setTint(true);
        showAt(host, ratio);
        // A second paint starts from the picture again: nothing accumulates.
        button->Redraw(StateNormal);
        faces[ratio] = button->faceImage();
    }
    const QImage& coarse = faces[1.0];
    ASSERT_EQ(coarse.size(), QSize(15, 6));
    EXPECT_NE(coarse.pixel(7, 3), one.pixel(7, 3)) << "tinted";
    for (const qreal ratio : {1.5, 2.0}) {
        SCOPED_TRACE(ratio);
        const QImage& fine = faces[ratio];
        ASSERT_EQ(fine.size(), deviceRect(QRect(0, 0, 15, 6), ratio).size());
        // Each logical pixel's device pixels, on average, are the coarse
        // tinted pixel, within what rounding the finer drawing leaves.
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 15; ++x) {
                const QRect cell = deviceRect(QRect(x, y, 1, 1), ratio);
                double sum[3] = {0, 0, 0};
                for (int dy = cell.top(); dy <= cell.bottom(); ++dy)
                    for (int dx = cell.left(); dx <= cell.right(); ++dx) {
                        const QRgb p = fine.pixel(dx, dy);
                        sum[0] += qRed(p);
                        sum[1] += qGreen(p);
                        sum[2] += qBlue(p);
                    }
                const int n = cell.width() * cell.height();
                const QRgb c = coarse.pixel(x, y);
                EXPECT_NEAR(sum[0] / n, qRed(c), 3) << x << ", " << y;
                EXPECT_NEAR(sum[1] / n, qGreen(c), 3) << x << ", " << y;
                EXPECT_NEAR(sum[2] / n, qBlue(c), 3) << x << ", " << y;
            }
    }
}

TEST(Scale, APointerOnAKeysLastDevicePixelsIsOnThatKey)
{
    // Qt gives a move to the widget under the logical point nearest the
    // pointer: at 2 device pixels to the logical pixel, a control's last
    // row of device pixels, y + 19.5 for one 20 high at y, goes to what
    // lies at y + 20.
    const auto moveTo = [](QWindow* window, QPointF at) {
        QMouseEvent move(QEvent::MouseMove, at, at, window->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
    };

    // Two controls one above the other: the upper one's last row is its own.
    // The window hands on the moves it is given, as the keyboard's does
    // (Qt 6.8 gives it those its controls' masks, rounded, leave out).
    struct Host : QWidget {
        void mouseMoveEvent(QMouseEvent* event) override { ZorvicClick::handMoveOn(this, event); }
    } host;
    host.setMouseTracking(true);
    host.resize(40, 60);
    ZorvicClick* upper = new ZorvicClick(&host);
    ZorvicClick* lower = new ZorvicClick(&host);
    int upperMoves = 0, lowerMoves = 0;
    for (auto [control, moves, top] : {std::tuple(upper, &upperMoves, 0), std::tuple(lower, &lowerMoves, 20)}) {
        control->setGeometry(0, top, 20, 20);
        control->InitProperties();
        control->setBackStyle(1);
        QObject::connect(control, &ZorvicClick::MouseMove, [moves = moves] { ++*moves; });
    }
    showAt(host, 2);
    moveTo(host.windowHandle(), {10, 19.5});
    EXPECT_EQ(upperMoves, 1);
    EXPECT_EQ(lowerMoves, 0);
    moveTo(host.windowHandle(), {10, 20});
    EXPECT_EQ(upperMoves, 1);
    EXPECT_GE(lowerMoves, 1); // Qt 6.8 tells the lower one of the enter too

    // On the keyboard, Enter's last row goes to the see-through top row of
    // the key 1 below it, so to the window: the rest still types Enter.
    FakeKeySender sender;
    FakeTone tone;
    frmKelvo form(sender, tone);
    showAt(form, 2);
    moveTo(form.windowHandle(), {200, 205}); // on key 1
    EXPECT_EQ(form.CurrentKey, 49);
    moveTo(form.windowHandle(), {200, 194.5});
    EXPECT_EQ(form.CurrentKey, 28);
}
