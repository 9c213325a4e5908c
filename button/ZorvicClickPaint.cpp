// How the button paints its face.
#include "button/ZorvicClick.h"

#include "button/DevicePixels.h"

#include <QBitmap>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <array>
#include <cstring>

namespace kelvo {

namespace {

// The built-in faces of style 0 for Normal, Over and Down; null when they
// cannot be read, which paints the face black.
const std::array<PictureRef, 3>& builtInFaces()
{
    static const std::array<PictureRef, 3> faces = {
        loadPicture(QStringLiteral(":/button/face-normal.gif"), Picture::Bitmap),
        loadPicture(QStringLiteral(":/button/face-over.gif"), Picture::Bitmap),
        loadPicture(QStringLiteral(":/button/face-down.gif"), Picture::Bitmap),
    };
    return faces;
}

// `from` stretched pixel for pixel, without smoothing, over `to`. (Qt
// stretches by painting, and an image keeps the painter's engine, some
// kilobytes, for as long as it lives: the copy goes without.)
QImage stretched(const QImage& from, QSize to)
{
    return from.scaled(to, Qt::IgnoreAspectRatio, Qt::FastTransformation).copy();
}

// True when two masks hold the same bits. (Comparing the images themselves
// goes pixel by pixel, which costs more than the rest of a repaint; the
// bytes of a row are compared, but not the padding at its end, which is
// never written.)
bool sameBits(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    if (a.size() != b.size() || a.format() != b.format() || a.depth() != 1)
        return a.size() == b.size() && a.format() == b.format() && a == b;
    const int whole = a.width() / 8, rest = a.width() % 8;
    // Mono images keep the first pixel in the lowest bit, MonoLSB ones, or
    // in the highest.
    const unsigned char last = a.format() == QImage::Format_MonoLSB ? (1u << rest) - 1 : 0xFFu << (8 - rest);
    for (int y = 0; y < a.height(); ++y) {
        const uchar* p = a.constScanLine(y);
        const uchar* q = b.constScanLine(y);
        if (std::memcmp(p, q, size_t(whole)) != 0 || (rest && ((p[whole] ^ q[whole]) & last)))
            return false;
    }
    return true;
}

} // namespace

QColor colorOf(qint32 value)
{
    const quint32 v = quint32(value);
    if (v & 0x80000000u) {
        const QPalette palette;
        switch (v & 0xFF) {
        case 0x05: return palette.color(QPalette::Base);       // window
        case 0x08: return palette.color(QPalette::Text);       // window text
        case 0x0F: return palette.color(QPalette::Button);     // button face
        case 0x12: return palette.color(QPalette::ButtonText); // button text
        case 0x14: return palette.color(QPalette::Light);      // highlight edge
        case 0x10: return palette.color(QPalette::Dark);       // shadow edge
        default: return palette.color(QPalette::Window);
        }
    }
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

void ZorvicClick::loadFace(int State, qreal ratio)
{
    PictureRef face;
    if (customPic_) {
        face = State == StateNormal ? picNormal_ : (State == StateOver ? picOver_ : picDown_);
    } else {
        // Only style 0 has faces; another style keeps what the buffer holds.
        if (zorvicStyle_ != 0)
            return;
        face = builtInFaces()[size_t(State)];
    }
    if (!face || face->isEmpty()) {
        // No picture: the buffer keeps its size and shows its black background.
        pic_.fill(Qt::black);
        if (ratio != 1) {
            if (maskPic_.isNull())
                maskPic_ = QImage(100, 40, QImage::Format_RGB32);
            maskPic_.fill(Qt::black);
        }
        return;
    }
    // The buffer takes the picture's size; transparent pixels come out black.
    // The controls showing one picture share that copy until a tint writes
    // into one of them.
    pic_ = face->onBlack(ratio);
    if (ratio != 1)
        maskPic_ = face->onBlack(1);
}

QRect ZorvicClick::deviceAreaFor(qreal ratio) const
{
    return deviceRect(QRect(mapTo(window(), QPoint(0, 0)), size()), ratio);
}

void ZorvicClick::Redraw(int State)
{
    const float W = float(width());
    const float H = float(height());
    const qreal ratio = devicePixelRatioF();
    const bool known = State == StateNormal || State == StateOver || State == StateDown;

    // Offset of caption and icon.
    if (State == StateNormal)
        layout_.FaceOffset = 0;
    else if (State == StateOver && upMotion_)
        layout_.FaceOffset = -(W + H) / 100.0f;
    else if (State == StateDown && upMotion_)
        layout_.FaceOffset = (W + H) / 100.0f;

    // The state's picture, as drawn for our screen, into the buffer.
    if (known)
        loadFace(State, ratio);

    if (tint_) {
        tinter_.TintPicture(pic_, pic_, tintColor_, tintBright_);
        if (ratio != 1)
            tinter_.TintPicture(maskPic_, maskPic_, tintColor_, tintBright_);
    }

    // Stretched over the whole control, pixel for pixel, no smoothing: over
    // every device pixel it covers.
    const QRect area = deviceAreaFor(ratio);
    if (width() > 0 && height() > 0) {
        image_ = stretched(pic_, area.size());
        image_.setDevicePixelRatio(ratio);
    } else {
        image_ = QImage();
    }
    paintedAs_ = paintingNow(known ? State : -1, ratio);

    // The mask is the face's as it covers the control's logical pixels,
    // whatever the screen; the device pixels only refine its outline.
    maskPicture_ = ratio == 1 || image_.isNull() ? image_ : stretched(maskPic_, size());
    painting_ = true;
    applyMask();
    painting_ = false;

    // Icon and caption.
    if (!image_.isNull()) {
        // Without the icon shown, the caption alone; with it, the column of
        // its position, and for a position outside 0 to 4 nothing at all.
        const int column = buttonIconShow_ ? int(buttonIconPos_) : int(NoIcon);
        if (!buttonIconShow_ || (column >= IconLeft && column <= IconBehind)) {
            FaceInputs in;
            in.width = W;
            in.height = H;
            in.column = column;
            if (buttonIcon_) {
                in.iconWidth = buttonIcon_->width();
                in.iconHeight = buttonIcon_->height();
            }
            QPainter painter(&image_);
            if (ratio != 1) {
                // The image begins at the device pixel our place rounds to;
                // what is drawn on it keeps to our logical place exactly.
                painter.translate(QPointF(mapTo(window(), QPoint(0, 0))) - QPointF(area.topLeft()) / ratio);
            }
            const QFont face = font_ ? *font_ : QWidget::font();
            painter.setFont(face);
            const QFontMetrics metrics(face);
            const int lines = int(caption_.count(QLatin1Char('\n'))) + 1;
            in.captionHeight = metrics.height() + (lines - 1) * metrics.lineSpacing();
            layOutFace(layout_, in);
            // Behind the caption the icon is drawn first; elsewhere after it.
            if (column == IconBehind)
                drawIcon(painter, ratio);
            drawCaption(painter);
            if (column != IconBehind && column != NoIcon)
                drawIcon(painter, ratio);
            painter.end();
            // Without the painter's engine (see stretched()).
            image_ = image_.copy();
        }
    }
    showDevicePixels();
    update();
}

void ZorvicClick::showDevicePixels()
{
    // At one device pixel to the logical pixel the mask cuts the face
    // exactly; beyond, the face's device pixels that do not show are made
    // transparent.
    shown_ = QImage();
    if (paintedAs_.ratio == 1 || image_.isNull() || image_.size() != QSize(deviceGrid_.width, deviceGrid_.height))
        return;
    shown_ = image_.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    shown_.setDevicePixelRatio(1);
    const int width = deviceGrid_.width;
    for (int y = 0; y < deviceGrid_.height; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(shown_.scanLine(y));
        const unsigned char* on = deviceGrid_.on.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x)
            if (!on[x])
                row[x] = 0;
    }
}

ZorvicClick::PaintedAs ZorvicClick::paintingNow(int state, qreal ratio) const
{
    return {state, deviceAreaFor(ratio), ratio, generation_, QPalette().cacheKey()};
}

void ZorvicClick::repaintNormal()
{
    const qreal ratio = devicePixelRatioF();
    if (paintedAs_ == paintingNow(StateNormal, ratio))
        return;
    Redraw(StateNormal);
}

void ZorvicClick::drawCaption(QPainter& painter)
{
    const FaceLayout::Rect& r = layout_.TextRect;
    const QRect box(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1));
    if (!box.isValid() || caption_.isEmpty())
        return;
    painter.save();
    painter.setClipRect(box);
    painter.setPen(colorOf(captionColor_));
    // Centred, broken at word boundaries, the first line at the top.
    painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic,
                     caption_);
    painter.restore();
}

void ZorvicClick::drawIcon(QPainter& painter, qreal ratio)
{
    // Only an icon is drawn this way; a bitmap or an empty picture is not.
    if (!buttonIcon_ || buttonIcon_->isEmpty() || buttonIcon_->kind != Picture::Icon)
        return;
    const std::optional<qint32> x = nearest(layout_.IconLeft);
    const std::optional<qint32> y = nearest(layout_.IconTop);
    const std::optional<qint32> w = nearest(layout_.IconWidth);
    const std::optional<qint32> h = nearest(layout_.IconHeight);
    if (!x || !y || !w || !h || *w <= 0 || *h <= 0)
        return;
    // Stretched pixel for pixel, from the icon as drawn for our screen; its
    // transparent parts leave the face as it is.
    painter.drawImage(QRect(*x, *y, *w, *h), buttonIcon_->forRatio(ratio));
}

void ZorvicClick::applyMask()
{
    QImage seeThrough;
    if (backStyle_ == 0 && !maskPicture_.isNull())
        // The mask colour's pixels are marked; as a bitmap's region the
        // marked pixels are the ones left out.
        seeThrough = maskPicture_.createMaskFromColor(colorOf(maskColor_).rgb(), Qt::MaskInColor);
    const bool deviceChanged = updateDeviceMask(seeThrough);
    // Outside a paint (a change of the see-through colour or style) the
    // device pixels shown follow at once.
    if (deviceChanged && !painting_)
        showDevicePixels();
    // Faces of one control mostly share their shape: cut only when it changed.
    if (sameBits(seeThrough, appliedMask_) && !(seeThrough.isNull() && !mask().isEmpty())) {
        if (deviceChanged)
            emit MaskChanged();
        return;
    }
    appliedMask_ = seeThrough;
    if (seeThrough.isNull()) {
        clearMask();
    } else {
        const QRegion shown(QBitmap::fromImage(seeThrough));
        // An empty region would mean no mask at all, that is fully shown; a
        // fully see-through face keeps a region that lies outside the control.
        setMask(shown.isEmpty() ? QRegion(-1, -1, 1, 1) : shown);
    }
    emit MaskChanged();
}

QRegion ZorvicClick::deviceMask() const
{
    if (paintedAs_.ratio != 1)
        return deviceShown_;
    return mask().isEmpty() ? QRegion(rect()) : mask() & rect();
}

bool ZorvicClick::updateDeviceMask(const QImage& seeThrough)
{
    const qreal ratio = paintedAs_.ratio;
    if (ratio == 1 || image_.isNull())
        return false;
    // The stretched face as it is before caption and icon: in a paint the
    // face itself, else stretched again from the buffer.
    const QImage deviceFace = painting_ ? image_ : stretched(pic_, paintedAs_.area.size());
    // The face's device pixels that show, within the logical pixels the
    // mask keeps, their corners rounded off at the device pixels.
    const QRect area = paintedAs_.area;
    PixelGrid grid{area.width(), area.height(), std::vector<unsigned char>(size_t(area.width()) * size_t(area.height()), 1)};
    if (!seeThrough.isNull()) {
        const QPoint at = mapTo(window(), QPoint(0, 0));
        std::vector<int> column(size_t(grid.width));
        for (int x = 0; x < grid.width; ++x)
            column[size_t(x)] = std::clamp(logicalPixelAt(area.left() + x, ratio) - at.x(), 0, maskPicture_.width() - 1);
        const QRgb key = colorOf(maskColor_).rgb();
        for (int y = 0; y < grid.height; ++y) {
            const int logicalRow = std::clamp(logicalPixelAt(area.top() + y, ratio) - at.y(), 0, maskPicture_.height() - 1);
            const QRgb* logical = reinterpret_cast<const QRgb*>(maskPicture_.constScanLine(logicalRow));
            const QRgb* face = reinterpret_cast<const QRgb*>(deviceFace.constScanLine(y));
            unsigned char* on = grid.on.data() + size_t(y) * size_t(grid.width);
            for (int x = 0; x < grid.width; ++x)
                on[x] = face[x] != key && logical[column[size_t(x)]] != key;
        }
        roundCorners(grid);
    }
    if (grid.on == deviceGrid_.on && grid.width == deviceGrid_.width)
        return false;
    deviceGrid_ = std::move(grid);
    deviceShown_ = deviceGrid_.region();
    return true;
}

} // namespace kelvo
