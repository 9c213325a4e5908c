#pragma once
// The pointer as a Wayland client sees it: only over its own surfaces, and
// told when it enters and leaves each one. A window the compositor maps over
// ours under the pointer takes the pointer away (it leaves), and so does a
// see-through part of ours, which lies outside the surface's input region.
//
// Qt turns the compositor's enter, motion and leave into events on the
// QWindow. They are watched for the whole application from its start (an
// enter may come before anything asks) and before Qt hands them on to the
// widgets, so a control that hears of a leave already finds the pointer gone.

#include "platform/PointerProbe.h"

#include <QObject>
#include <QPointF>
#include <QPointer>

class QWindow;

namespace kelvo {

class WaylandPointerProbe final : public QObject, public PointerProbe {
public:
    // May be made before the application object; it watches from the
    // moment that exists.
    WaylandPointerProbe();
    ~WaylandPointerProbe() override;

    std::optional<QPoint> pointerIn(WId window) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void watchApplication();

    QPointer<QWindow> inside_; // the window of ours the pointer is on
    QPointF at_;               // where on it, in its own coordinates
};

} // namespace kelvo
