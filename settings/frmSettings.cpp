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
    // The frame's size is known once the window manager has framed us.
    if (!isVisible())
        show();
    const QRect frame = frameGeometry();
    move(corner - QPoint(frame.width(), frame.height()));
    raise();
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
