#include "platform/wayland/LayerShellRole.h"

#include "platform/QtNative.h"
#include "platform/wayland/QtWaylandQueue.h"

#include "layer-shell-client-protocol.h"
#include "relative-pointer-client-protocol.h"

#include <QAbstractEventDispatcher>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPlatformSurfaceEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace kelvo {

namespace {

// The name compositors show for our surfaces (in rules, in their logs).
constexpr const char* SurfaceNamespace = "kelvo";

wl_surface* surfaceOf(QWidget* widget)
{
    return qtnative::waylandSurface(widget->windowHandle());
}

} // namespace

std::unique_ptr<LayerShellRole> LayerShellRole::open()
{
    Globals globals;
    const auto qt = openQtWaylandQueue([&](wl_registry* registry, std::uint32_t name, const char* interface,
                                           std::uint32_t version) {
        const auto bind = [&](const wl_interface* wanted, std::uint32_t highest) {
            return wl_registry_bind(registry, name, wanted, std::min(version, highest));
        };
        if (!globals.shell && std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0)
            globals.shell = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 4));
        else if (!globals.seat && std::strcmp(interface, wl_seat_interface.name) == 0)
            globals.seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
        else if (!globals.relative && std::strcmp(interface, zwp_relative_pointer_manager_v1_interface.name) == 0)
            globals.relative = static_cast<zwp_relative_pointer_manager_v1*>(
                bind(&zwp_relative_pointer_manager_v1_interface, 1));
    });
    if (!qt)
        return nullptr;
    wl_display* display = qt->display;
    wl_event_queue* queue = qt->queue;
    if (!globals.shell) {
        if (globals.seat)
            wl_seat_destroy(globals.seat);
        if (globals.relative)
            zwp_relative_pointer_manager_v1_destroy(globals.relative);
        wl_event_queue_destroy(queue);
        return nullptr;
    }
    return std::unique_ptr<LayerShellRole>(new LayerShellRole(display, queue, globals));
}

LayerShellRole::LayerShellRole(wl_display* display, wl_event_queue* queue, const Globals& globals)
    : display_(display)
    , queue_(queue)
    , shell_(globals.shell)
    , seat_(globals.seat)
    , relativeManager_(globals.relative)
{
    // The pointer's own motion and buttons, for drags: on a pointer of our
    // own, which hears what Qt's hears, in order, in our queue. It can be
    // had only once the seat has a pointer.
    if (relativeManager_ && seat_) {
        static const wl_seat_listener listener = {
            [](void* data, wl_seat*, std::uint32_t capabilities) {
                static_cast<LayerShellRole*>(data)->followPointer(capabilities & WL_SEAT_CAPABILITY_POINTER);
            },
            [](void*, wl_seat*, const char*) {},
        };
        wl_seat_add_listener(seat_, &listener, this);
        wl_display_roundtrip_queue(display_, queue_);
    }
    // Qt's thread reads every event from the socket, ours among them; they
    // wait in our queue until the event loop next goes idle.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { wl_display_dispatch_queue_pending(display_, queue_); });
}

LayerShellRole::~LayerShellRole()
{
    for (auto& surface : surfaces_)
        dropRole(*surface);
    if (relative_)
        zwp_relative_pointer_v1_destroy(relative_);
    if (pointer_)
        wl_pointer_destroy(pointer_);
    if (relativeManager_)
        zwp_relative_pointer_manager_v1_destroy(relativeManager_);
    if (seat_)
        wl_seat_destroy(seat_);
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(shell_)) >= 3)
        zwlr_layer_shell_v1_destroy(shell_);
    else
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(shell_));
    wl_display_flush(display_);
    wl_event_queue_destroy(queue_);
}

LayerShellRole::Surface* LayerShellRole::find(const QWidget* window) const
{
    const auto found = std::find_if(surfaces_.begin(), surfaces_.end(),
                                    [window](const auto& s) { return s->widget == window; });
    return found == surfaces_.end() ? nullptr : found->get();
}

void LayerShellRole::adopt(QWidget* window, Kind kind)
{
    Surface* surface = find(window);
    if (!surface) {
        // Windows since destroyed are forgotten, their roles first.
        std::erase_if(surfaces_, [this](const auto& s) {
            if (!s->widget)
                dropRole(*s);
            return !s->widget;
        });
        surfaces_.push_back(std::make_unique<Surface>());
        surfaces_.back()->role = this;
        surfaces_.back()->widget = window;
        surface = surfaces_.back().get();
        // Both must be in place before Qt makes the native window: the first
        // keeps the shell away, the second gives the surface an alpha channel.
        if (!window->windowFlags().testFlag(Qt::BypassWindowManagerHint))
            window->setWindowFlag(Qt::BypassWindowManagerHint, true);
        if (kind == Kind::Keyboard)
            window->setAttribute(Qt::WA_TranslucentBackground);
    }
    surface->kind = kind;
    window->winId();
    if (QWindow* handle = window->windowHandle(); handle && handle != surface->watched) {
        surface->watched = handle;
        handle->installEventFilter(this);
        // Said before Qt takes the surface away: the role goes first, as the
        // protocol wants, not after.
        connect(handle, &QWindow::visibleChanged, this, [this, handle](bool visible) {
            for (auto& s : surfaces_)
                if (!visible && s->watched == handle)
                    dropRole(*s);
        });
    }
    // A surface already made gets its role now; one that Qt makes later,
    // when the window is shown, gets it at its first expose.
    if (surfaceOf(window) != surface->surface)
        giveRole(*surface);
}

bool LayerShellRole::eventFilter(QObject* watched, QEvent* event)
{
    Surface* surface = nullptr;
    for (auto& s : surfaces_)
        if (s->widget && s->watched == watched)
            surface = s.get();
    if (!surface)
        return false;
    switch (event->type()) {
    case QEvent::Expose:
        if (surfaceOf(surface->widget) != surface->surface)
            giveRole(*surface);
        break;
    case QEvent::PlatformSurface:
        // The native window itself goes (Qt remakes it when flags change).
        if (static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType()
            == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
            dropRole(*surface);
        break;
    case QEvent::MouseButtonPress:
        pressedAt_ = static_cast<QMouseEvent*>(event)->position();
        break;
    case QEvent::MouseMove:
        // Without relative motion, the way from the press as the motion
        // reports it: sway keeps reporting it from where the surface was at
        // the press, however far it has been moved since.
        if (dragging_ == surface && !relative_)
            moveTo(surface->widget, dragFrom_ + (static_cast<QMouseEvent*>(event)->position() - pressedAt_).toPoint());
        break;
    case QEvent::MouseButtonRelease:
        if (!(static_cast<QMouseEvent*>(event)->buttons() & Qt::LeftButton))
            dragging_ = nullptr;
        break;
    default:
        break;
    }
    return false;
}

std::uint32_t LayerShellRole::layerFor(const Surface& surface) const
{
    // Which of two surfaces in one layer lies above is the compositor's
    // choice (sway puts the newer below); a layer lower for the keyboard
    // while the dialog shows puts the dialog above it everywhere.
    const bool dialogShown = std::any_of(surfaces_.begin(), surfaces_.end(),
                                         [](const auto& s) { return s->kind == Kind::Dialog && s->layer; });
    return surface.kind == Kind::Keyboard && dialogShown ? ZWLR_LAYER_SHELL_V1_LAYER_TOP
                                                         : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
}

void LayerShellRole::restack()
{
    for (auto& surface : surfaces_) {
        if (!surface->layer || !surface->configured || surface->kind != Kind::Keyboard)
            continue;
        if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(surface->layer)) < ZWLR_LAYER_SURFACE_V1_SET_LAYER_SINCE_VERSION)
            continue;
        zwlr_layer_surface_v1_set_layer(surface->layer, layerFor(*surface));
        wl_surface_commit(surface->surface);
    }
    wl_display_flush(display_);
}

void LayerShellRole::giveRole(Surface& surface)
{
    dropRole(surface);
    wl_surface* wlSurface = surfaceOf(surface.widget);
    if (!wlSurface)
        return;
    surface.surface = wlSurface;
    surface.layer = zwlr_layer_shell_v1_get_layer_surface(shell_, wlSurface, nullptr, layerFor(surface),
                                                          SurfaceNamespace);
    static const zwlr_layer_surface_v1_listener listener = {onConfigure, onClosed};
    zwlr_layer_surface_v1_add_listener(surface.layer, &listener, &surface);
    zwlr_layer_surface_v1_set_size(surface.layer, std::uint32_t(surface.widget->width()),
                                   std::uint32_t(surface.widget->height()));
    zwlr_layer_surface_v1_set_anchor(surface.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM
                                                        | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    // Zero: kept clear of the panels' zones, reserving none of its own.
    zwlr_layer_surface_v1_set_exclusive_zone(surface.layer, 0);
    zwlr_layer_surface_v1_set_keyboard_interactivity(surface.layer,
                                                     ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    applyPlace(surface);
    // The first commit carries no buffer; Qt attaches one only after the
    // compositor's configure has been acknowledged.
    wl_surface_commit(wlSurface);
    while (!surface.configured && surface.layer)
        if (wl_display_roundtrip_queue(display_, queue_) < 0)
            break;
    if (surface.kind == Kind::Dialog)
        restack();
}

void LayerShellRole::dropRole(Surface& surface)
{
    if (dragging_ == &surface)
        dragging_ = nullptr;
    if (!surface.layer)
        return;
    zwlr_layer_surface_v1_destroy(surface.layer);
    surface.layer = nullptr;
    surface.surface = nullptr;
    surface.configured = false;
    if (surface.kind == Kind::Dialog)
        restack();
    wl_display_flush(display_);
}

void LayerShellRole::applyPlace(Surface& surface)
{
    if (!surface.layer || !surface.placed)
        return;
    const QRect area = workArea(surface.widget);
    const int right = area.x() + area.width() - (surface.topLeft.x() + surface.widget->width());
    const int bottom = area.y() + area.height() - (surface.topLeft.y() + surface.widget->height());
    zwlr_layer_surface_v1_set_margin(surface.layer, 0, right, bottom, 0);
}

void LayerShellRole::onConfigure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t,
                                 std::uint32_t)
{
    // The size asked for is the window's own; whatever the compositor
    // offers, the window keeps it.
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    static_cast<Surface*>(data)->configured = true;
}

void LayerShellRole::onClosed(void* data, zwlr_layer_surface_v1*)
{
    // The compositor took the surface away (its output went): a window shown
    // again gets a new surface, and a new role with it.
    auto* surface = static_cast<Surface*>(data);
    LayerShellRole* role = surface->role;
    QPointer<QWidget> widget = surface->widget;
    role->dropRole(*surface);
    QMetaObject::invokeMethod(
        role,
        [widget] {
            if (widget && widget->isVisible()) {
                widget->hide();
                widget->show();
            }
        },
        Qt::QueuedConnection);
}

QRect LayerShellRole::workArea(const QWidget* window) const
{
    QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

void LayerShellRole::moveTo(QWidget* window, QPoint topLeft)
{
    // The widget keeps the place as its pos(); Qt's Wayland windows have
    // none of their own (they all map to the screen as if at its corner).
    window->move(topLeft);
    Surface* surface = find(window);
    if (!surface)
        return;
    surface->topLeft = topLeft;
    surface->placed = true;
    if (surface->layer) {
        applyPlace(*surface);
        if (surface->configured)
            wl_surface_commit(surface->surface);
        wl_display_flush(display_);
    }
}

QPoint LayerShellRole::position(const QWidget* window) const
{
    const Surface* surface = find(window);
    return surface && surface->placed ? surface->topLeft : window->pos();
}

void LayerShellRole::followPointer(bool seatHasPointer)
{
    if (seatHasPointer && !pointer_) {
        // By name: libwayland's listener grows with the protocol, and a
        // seat of version 5 sends none of the newer events.
        static const wl_pointer_listener listener = [] {
            wl_pointer_listener l{};
            l.enter = [](void*, wl_pointer*, std::uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t) {};
            l.leave = [](void*, wl_pointer*, std::uint32_t, wl_surface*) {};
            l.motion = [](void*, wl_pointer*, std::uint32_t, wl_fixed_t, wl_fixed_t) {};
            l.button = [](void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button,
                          std::uint32_t state) {
                // The way from each press of the left button on.
                constexpr std::uint32_t LeftButton = 0x110;
                if (button == LeftButton && state == WL_POINTER_BUTTON_STATE_PRESSED)
                    static_cast<LayerShellRole*>(data)->sincePress_ = QPointF();
            };
            l.axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {};
            l.frame = [](void*, wl_pointer*) {};
            l.axis_source = [](void*, wl_pointer*, std::uint32_t) {};
            l.axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {};
            l.axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {};
            return l;
        }();
        static const zwp_relative_pointer_v1_listener motion = {onRelativeMotion};
        pointer_ = wl_seat_get_pointer(seat_);
        wl_pointer_add_listener(pointer_, &listener, this);
        relative_ = zwp_relative_pointer_manager_v1_get_relative_pointer(relativeManager_, pointer_);
        zwp_relative_pointer_v1_add_listener(relative_, &motion, this);
    } else if (!seatHasPointer && pointer_) {
        zwp_relative_pointer_v1_destroy(relative_);
        wl_pointer_destroy(pointer_);
        relative_ = nullptr;
        pointer_ = nullptr;
    }
    wl_display_flush(display_);
}

bool LayerShellRole::startMove(QWidget* window)
{
    // Qt tells a Wayland window nothing of its place, so its pointer
    // positions are of no use for moving it: the drag is followed here, from
    // where on the window the button went down.
    Surface* surface = find(window);
    if (!surface || !surface->layer || !(QGuiApplication::mouseButtons() & Qt::LeftButton))
        return false;
    // Our queue has the press too, in order with the motion: what came
    // after it there is the drag's, however soon after.
    wl_display_dispatch_queue_pending(display_, queue_);
    dragMoved_ = sincePress_;
    dragging_ = surface;
    dragFrom_ = position(window);
    moveTo(window, dragFrom_ + dragMoved_.toPoint());
    return true;
}

void LayerShellRole::onRelativeMotion(void* data, zwp_relative_pointer_v1*, std::uint32_t, std::uint32_t,
                                      wl_fixed_t dx, wl_fixed_t dy, wl_fixed_t, wl_fixed_t)
{
    auto* role = static_cast<LayerShellRole*>(data);
    const QPointF step(wl_fixed_to_double(dx), wl_fixed_to_double(dy));
    role->sincePress_ += step;
    if (!role->dragging_ || !role->dragging_->widget)
        return;
    role->dragMoved_ += step;
    role->moveTo(role->dragging_->widget, role->dragFrom_ + role->dragMoved_.toPoint());
}

void LayerShellRole::setOpacity(QWidget* window, double opacity)
{
    for (QWidget* control : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(control->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(control);
            control->setGraphicsEffect(effect);
        }
        effect->setOpacity(opacity);
    }
}

void LayerShellRole::keepAbove(QWidget*, bool) {}

void LayerShellRole::keyOut(QWidget* window, QColor key)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, key);
    window->setPalette(palette);
    window->setAutoFillBackground(false);
}

} // namespace kelvo
