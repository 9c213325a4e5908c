#pragma once
// Routines the keyboard window and the settings dialog share.

#include <QColor>
#include <QRect>
#include <QRegion>

class QWidget;

namespace kelvo {

// True when a beep follows each keystroke. The keyboard switches it on at
// start; the settings dialog's check box writes it. Never saved.
extern bool BeepOn;

// The primary screen's work area in logical pixels: the screen less the
// panels and taskbars that reserve an edge.
QRect TaskbarWorkArea();

// Draws the window at alpha/255 opacity where a compositor runs, and cuts
// away every pixel of the colour key so it neither shows nor takes the
// pointer. The window's controls are what is left.
void MakeTranslucent(QWidget* form, QColor colorKey, int alpha);

// Shapes the form to the union of its shown controls, each as its own mask
// leaves it; called again whenever a control's see-through part changes.
// Where the window system counts device pixels and there are several to
// the logical pixel (X11 or Windows scaled by Qt), the shape is given at
// the device pixels, so the keys' outlines are as fine as their faces.
void ShapeToControls(QWidget* form);

// The form's shape at its device pixels: the union of its shown controls,
// each with the device pixels of its face that show.
QRegion DeviceShape(const QWidget* form);

// Puts the form above every window that is not itself kept on top (on 1),
// or lets it go back among them (any other value).
void SetTopmost(QWidget* form, int on);

} // namespace kelvo
