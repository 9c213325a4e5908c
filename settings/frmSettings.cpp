#include "settings/frmSettings.h"

#include "keyboard/Main.h"

namespace kelvo {

frmSettings::frmSettings(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral(" Kelvo -  v2.0"));
    setFixedSize(625, 319);
}

void frmSettings::placeCorner(QPoint corner)
{
    corner_ = corner;
    if (!isVisible())
        show();
    applyCorner();
    raise();
}

void frmSettings::applyCorner()
{
    const QSize frame = frameGeometry().size();
    move(*corner_ - QPoint(frame.width(), frame.height()));
    // A window just shown has no frame yet; once the window manager has
    // framed it, it is placed again by its outer corner.
    if (frame != size())
        corner_.reset();
}

void frmSettings::paintEvent(QPaintEvent* event)
{
    // By the time the window is first drawn on screen, the window manager
    // has framed it and the frame's size is known.
    QWidget::paintEvent(event);
    if (corner_ && frameGeometry().size() != size())
        applyCorner();
}

void frmSettings::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    corner_.reset();
}

void frmSettings::Form_Activate()
{
    SetTopmost(this, 1);
}

void frmSettings::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Form_Activate();
}

} // namespace kelvo
