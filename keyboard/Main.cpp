#include "keyboard/Main.h"

#include "platform/WindowRole.h"

#include <QRegion>
#include <QWidget>

namespace kelvo {

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
        const QRegion part
            = child->mask().isEmpty() ? QRegion(child->rect()) : child->mask() & child->rect();
        shown += part.translated(child->pos());
    }
    form->setMask(shown);
}

void SetTopmost(QWidget* form, int on)
{
    currentWindowRole().keepAbove(form, on == 1);
}

} // namespace kelvo
