#include "platform/wayland/WaylandPointerProbe.h"

#include "platform/wayland/QtWaylandQueue.h"
#include "virtual-pointer-client-protocol.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <wayland-client.h>

#include <cstring>
#include <ctime>

namespace kelvo {

namespace {

WaylandPointerProbe* current = nullptr;

} // namespace

WaylandPointerProbe::WaylandPointerProbe()
{
    current = this;
    // Run by the application's constructor, or at once if it exists.
    qAddPreRoutine(&WaylandPointerProbe::watchApplication);
}

WaylandPointerProbe::~WaylandPointerProbe()
{
    releaseVirtualPointer();
    if (current == this)
        current = nullptr;
}

void WaylandPointerProbe::releaseVirtualPointer()
{
    if (nudger_)
        zwlr_virtual_pointer_v1_destroy(nudger_);
    if (manager_)
        zwlr_virtual_pointer_manager_v1_destroy(manager_);
    if (seat_)
        wl_seat_destroy(seat_);
    if (display_)
        wl_display_flush(display_);
    if (queue_)
        wl_event_queue_destroy(queue_);
    nudger_ = nullptr;
    manager_ = nullptr;
    seat_ = nullptr;
    display_ = nullptr;
    queue_ = nullptr;
}

bool WaylandPointerProbe::bindVirtualPointer()
{
    looked_ = true;
    const auto qt = openQtWaylandQueue([this](wl_registry* registry, std::uint32_t name, const char* interface,
                                              std::uint32_t) {
        if (!seat_ && std::strcmp(interface, wl_seat_interface.name) == 0)
            seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (!manager_ && std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
            manager_ = static_cast<zwlr_virtual_pointer_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    });
    if (!qt)
        return false;
    display_ = qt->display;
    queue_ = qt->queue;
    if (manager_ && seat_)
        nudger_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, seat_);
    // Qt's connection ends with the application, before this probe.
    qAddPostRoutine([] {
        if (current)
            current->releaseVirtualPointer();
    });
    return nudger_;
}

bool WaylandPointerProbe::lookAgain()
{
    if (!nudger_ && (looked_ || !bindVirtualPointer()))
        return false;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
    zwlr_virtual_pointer_v1_motion(nudger_, ms, wl_fixed_from_int(0), wl_fixed_from_int(0));
    zwlr_virtual_pointer_v1_frame(nudger_);
    // Once the compositor has answered us, what it told Qt's pointer on the
    // way is read too: hand it to Qt, and Qt's events to the windows.
    if (wl_display_roundtrip_queue(display_, queue_) < 0)
        return false;
    wl_display_dispatch_pending(display_);
    QCoreApplication::processEvents();
    return true;
}

void WaylandPointerProbe::watchApplication()
{
    if (current && QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(current);
}

std::optional<QPoint> WaylandPointerProbe::pointerIn(WId id)
{
    QWindow* window = inside_;
    if (!window || !window->isVisible() || !window->handle() || window->winId() != id)
        return std::nullopt;
    return (at_ * window->devicePixelRatio()).toPoint();
}

bool WaylandPointerProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (watched->isWidgetType()) {
        // A leave and an enter of the same window that come together reach
        // the window as the leave alone, and Qt hands the enter straight to
        // its top-level widget.
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Enter && widget->isWindow() && widget->windowHandle()) {
            inside_ = widget->windowHandle();
            at_ = static_cast<QEnterEvent*>(event)->position();
        }
        return false;
    }
    if (!watched->isWindowType())
        return false;
    auto* window = static_cast<QWindow*>(watched);
    switch (event->type()) {
    case QEvent::Enter:
        inside_ = window;
        at_ = static_cast<QEnterEvent*>(event)->position();
        break;
    case QEvent::MouseMove:
        // The move lookAgain makes goes nowhere, and is no move.
        if (inside_ == window && static_cast<QMouseEvent*>(event)->position() == at_)
            return true;
        [[fallthrough]];
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        // Reported for the surface the pointer is on, and while a button is
        // held also outside the one it was pressed on.
        const QPointF at = static_cast<QMouseEvent*>(event)->position();
        if (QRectF(QPointF(), window->size()).contains(at)) {
            inside_ = window;
            at_ = at;
        } else if (inside_ == window) {
            inside_ = nullptr;
        }
        break;
    }
    case QEvent::Leave:
    case QEvent::Hide:
        if (inside_ == window)
            inside_ = nullptr;
        break;
    default:
        break;
    }
    return false;
}

} // namespace kelvo
