#include "button/FaceLayout.h"

#include <cmath>
#include <limits>

namespace kelvo {

std::optional<qint32> nearest(double x)
{
    if (!std::isfinite(x))
        return std::nullopt;
    const double r = std::nearbyint(x);
    if (r < std::numeric_limits<qint32>::min() || r > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(r);
}

std::optional<qint32> idiv(double a, double b)
{
    const std::optional<qint32> na = nearest(a);
    const std::optional<qint32> nb = nearest(b);
    if (!na || !nb || *nb == 0 || (*na == std::numeric_limits<qint32>::min() && *nb == -1))
        return std::nullopt;
    return *na / *nb;
}

namespace {

// a / b, or nothing for a zero divisor.
std::optional<double> divided(std::optional<double> a, std::optional<int> b)
{
    if (!a || !b || *b == 0)
        return std::nullopt;
    return *a / *b;
}

std::optional<double> times(double a, std::optional<int> b)
{
    if (!b)
        return std::nullopt;
    return a * *b;
}

template <typename Field, typename Value>
void set(Field& field, const std::optional<Value>& value)
{
    if (value)
        field = Field(*value);
}

// The caption's line count beside an icon: 1 + Lw idiv (0.9 W - icon width).
std::optional<qint32> linesBeside(float W, double iconWidth)
{
    const float w90 = W * 18.0f / 20.0f;
    const std::optional<qint32> q = idiv(CaptionRefWidth, double(w90) - iconWidth);
    return q ? std::optional<qint32>(1 + *q) : std::nullopt;
}

} // namespace

void layOutFace(FaceLayout& f, const FaceInputs& in)
{
    const float W = in.width;
    const float H = in.height;
    const float o = f.FaceOffset;
    // 0.95 W and 0.95 H of the rectangle, in single precision.
    const float w95 = W * 19.0f / 20.0f;
    const float h95 = H * 19.0f / 20.0f;
    // 0.9 W and 0.9 H of the icon sizes, in double precision.
    const double w90 = double(W) * (1.0 - 1.0 / 10);
    const double h90 = double(H) * (1.0 - 1.0 / 10);
    const std::optional<int> iw = in.iconWidth;
    const std::optional<int> ih = in.iconHeight;
    FaceLayout::Rect& r = f.TextRect;

    switch (in.column) {
    case NoIcon: {
        set(r.Left, idiv(W - w95, 2));
        const std::optional<qint32> q = idiv(CaptionRefWidth, w95);
        if (q) {
            const qint32 n = 1 + *q;
            if (const std::optional<qint32> half = idiv(H - float(CaptionRefHeight * n), 2))
                set(r.Top, nearest(double(*half) + o));
        }
        set(r.Bottom, nearest(double(h95) + r.Top));
        set(r.Right, nearest(double(w95) + r.Left));
        break;
    }
    case IconLeft: {
        f.IconLeft = W / 20.0f;
        f.IconTop = H / 20.0f + o;
        f.IconHeight = h90;
        set(f.IconWidth, divided(times(f.IconHeight, iw), ih));
        set(r.Left, nearest(f.IconWidth + f.IconLeft));
        if (const std::optional<qint32> n = linesBeside(W, f.IconWidth))
            set(r.Top, nearest((double(h95) - double(*n) * CaptionRefHeight) / 2));
        set(r.Bottom, nearest(h95));
        set(r.Right, nearest(w95));
        break;
    }
    case IconTop: {
        f.IconTop = H / 20.0f + o;
        f.IconWidth = w90;
        set(f.IconHeight, divided(times(f.IconWidth, ih), iw));
        f.IconLeft = (W - f.IconWidth) / 2;
        set(r.Left, nearest(f.IconLeft));
        set(r.Top, nearest(f.IconHeight + f.IconTop));
        set(r.Bottom, nearest(h95));
        set(r.Right, nearest(w95));
        break;
    }
    case IconRight: {
        f.IconTop = H / 20.0f + o;
        f.IconHeight = h90;
        set(f.IconWidth, divided(times(f.IconHeight, iw), ih));
        f.IconLeft = double(W) * (1.0 - 1.0 / 20) - f.IconWidth;
        set(r.Left, nearest(W / 20.0f));
        if (const std::optional<qint32> n = linesBeside(W, f.IconWidth))
            set(r.Top, nearest((double(h95) - double(*n) * CaptionRefHeight) / 2 + o));
        set(r.Bottom, nearest(h95));
        set(r.Right, nearest(double(w95) - f.IconWidth));
        break;
    }
    case IconBottom: {
        f.IconWidth = w90;
        set(f.IconHeight, divided(times(f.IconWidth, ih), iw));
        f.IconLeft = (W - f.IconWidth) / 2;
        f.IconTop = float(double(H) * (1.0 - 1.0 / 20) - f.IconHeight + o);
        set(r.Left, nearest(W / 20.0f));
        // The caption's lines, counted against the rectangle's width, are
        // centred in the height above the icon, as beside a side icon.
        const std::optional<qint32> left = nearest(W / 20.0f);
        const std::optional<qint32> right = nearest(w95);
        if (left && right) {
            if (const std::optional<qint32> q = idiv(CaptionRefWidth, double(*right) - *left)) {
                const double n = 1 + *q;
                set(r.Top, nearest((double(h95) - f.IconHeight - n * CaptionRefHeight) / 2 + o));
            }
        }
        set(r.Bottom, nearest(double(h95) - f.IconHeight));
        set(r.Right, right);
        break;
    }
    case IconBehind: {
        f.IconTop = H / 20.0f + o;
        f.IconHeight = h90;
        f.IconWidth = w90;
        f.IconLeft = W / 20.0f;
        set(r.Left, idiv(W - w95, 2));
        set(r.Top, nearest((double(H) - in.captionHeight) / 2 + o));
        set(r.Bottom, nearest(H));
        set(r.Right, nearest(W));
        break;
    }
    default:
        break;
    }
}

} // namespace kelvo
