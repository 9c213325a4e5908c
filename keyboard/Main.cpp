#include "keyboard/Main.h"

#include "button/DevicePixels.h"
#include "button/ZorvicClick.h"
#include "platform/QtNative.h"
#include "platform/WindowRole.h"

#include <QRegion>
#include <QWidget>
#include <QWindow>

namespace kelvo {

namespace {

// The part of a child the form shows, in the child's logical pixels.
QRegion shownPart(const QWidget* child)
{
    return child->mask().isEmpty() ? QRegion(child->rect()) : child->mask() & child->rect();
}

} // namespace

bool BeepOn = false;

QRect TaskbarWorkArea()
{
    return currentWindowRole().workArea(nullptr);
}

void MakeTranslucent(QWidget* form, QColor colorKey, int alpha)
{
    currentWindowRole().setOpacity(form, alpha / 255.0);
    // The form's own background shows only where no control covers it, so
    // the colour key's pixels are exactly those outside every control.
    currentWindowRole().keyOut(form, colorKey);
    ShapeToControls(form);
}

void ShapeToControls(QWidget* form)
{
    QRegion shown;
    for (QWidget* child : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden())
            continue;
        shown += shownPart(child).translated(child->pos());
    }
    form->setMask(shown);

    // Qt gives the window system the logical shape, each logical pixel
    // scaled to its device pixels: steps of two device pixels at 200 %.
    // A window system that counts device pixels gets them one by one.
    // (Wayland counts logical ones: there the logical shape is all it takes.)
    QWindow* window = form->windowHandle();
    if (qtnative::platformPixelRatio(window) == 1 && form->devicePixelRatioF() != 1)
        qtnative::setPlatformMask(window, DeviceShape(form));
}

QRegion DeviceShape(const QWidget* form)
{
    const qreal ratio = form->devicePixelRatioF();
    QRegion shown;
    for (QWidget* child : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden())
            continue;
        const QRect area = deviceRect(child->geometry(), ratio);
        const auto* control = qobject_cast<const ZorvicClick*>(child);
        if (control && control->faceImage().devicePixelRatio() == ratio && control->deviceArea().size() == area.size()) {
            shown += control->deviceMask().translated(area.topLeft());
        } else {
            shown += deviceRegion(shownPart(child).translated(child->pos()), ratio);
        }
    }
    return shown;
}

void SetTopmost(QWidget* form, int on)
{
    currentWindowRole().keepAbove(form, on == 1);
}

} // namespace kelvo
