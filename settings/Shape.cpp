#include "settings/Shape.h"

#include "button/ZorvicClick.h"

#include <QPainter>

#include <algorithm>

namespace kelvo {

Shape::Shape(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void Shape::setBorderColor(qint32 New_BorderColor)
{
    borderColor_ = New_BorderColor;
    update();
}

void Shape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colorOf(borderColor_), 1));
    painter.setBrush(Qt::NoBrush);
    // The corners' curve grows with the shape, as rounded frames drawn by
    // hand usually do: an eighth of the shorter side.
    const qreal radius = std::min(width(), height()) / 8.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

} // namespace kelvo
