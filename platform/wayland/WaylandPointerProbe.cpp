#include "platform/wayland/WaylandPointerProbe.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

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
    if (current == this)
        current = nullptr;
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
