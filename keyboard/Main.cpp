#include "keyboard/Main.h"

#include <QGuiApplication>
#include <QRegion>
#include <QScreen>
#include <QWidget>

namespace kelvo {

bool BeepOn = false;

QRect TaskbarWorkArea()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void MakeTranslucent(QWidget* form, QColor colorKey, int alpha)
{
    form->setWindowOpacity(alpha / 255.0);
    // The form's own background shows only where no control covers it, so
    // the colour key's pixels are exactly those outside every control.
    QPalette palette = form->palette();
    palette.setColor(QPalette::Window, colorKey);
    form->setPalette(palette);
    form->setAutoFillBackground(true);
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
    const bool wanted = on == 1;
    if (form->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != wanted) {
        const bool visible = form->isVisible();
        form->setWindowFlag(Qt::WindowStaysOnTopHint, wanted);
        if (visible)
            form->show();
    }
    if (wanted)
        form->raise();
}

} // namespace kelvo
