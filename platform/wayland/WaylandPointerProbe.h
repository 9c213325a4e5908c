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
//
// wlroots compositors from sway 1.9 on look at what lies under a resting
// pointer only when it moves: a window mapped over ours there takes the
// pointer's focus only then. lookAgain has them look, by moving the pointer
// by nothing through a virtual pointer of our own.

#include "platform/PointerProbe.h"

#include <QObject>
#include <QPointF>
#include <QPointer>

class QWindow;
struct wl_display;
struct wl_event_queue;
struct wl_seat;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

namespace kelvo {

class WaylandPointerProbe final : public QObject, public PointerProbe {
public:
    // May be made before the application object; it watches from the
    // moment that exists.
    WaylandPointerProbe();
    ~WaylandPointerProbe() override;

    std::optional<QPoint> pointerIn(WId window) override;
    bool lookAgain() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void watchApplication();

    // The virtual pointer lookAgain moves, on Qt's connection in a queue of
    // our own; looked for at the first lookAgain.
    bool bindVirtualPointer();
    void releaseVirtualPointer();

    QPointer<QWindow> inside_; // the window of ours the pointer is on
    QPointF at_;               // where on it, in its own coordinates

    bool looked_ = false; // for the virtual pointer
    wl_display* display_ = nullptr;
    wl_event_queue* queue_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwlr_virtual_pointer_manager_v1* manager_ = nullptr;
    zwlr_virtual_pointer_v1* nudger_ = nullptr;
};

} // namespace kelvo
