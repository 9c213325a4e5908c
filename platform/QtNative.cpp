#include "platform/QtNative.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qplatformwindow.h>

// Qt declares its Wayland interfaces only where it was built with Wayland.
#if defined(QT_FEATURE_wayland) && QT_FEATURE_wayland == 1
#define QT_HAS_WAYLAND_INTERFACES 1
#else
#define QT_HAS_WAYLAND_INTERFACES 0
#endif

namespace kelvo::qtnative {

#if KELVO_QT_WAYLAND

namespace {

bool onWayland()
{
    return QGuiApplication::platformName() == u"wayland";
}

} // namespace

wl_display* waylandDisplay()
{
    if (!onWayland())
        return nullptr;
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0) && QT_HAS_WAYLAND_INTERFACES
    auto* application = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QWaylandApplication>() : nullptr;
    return application ? application->display() : nullptr;
#else
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    return native ? static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display")) : nullptr;
#endif
}

wl_surface* waylandSurface(QWindow* window)
{
    if (!window || !window->handle() || !onWayland())
        return nullptr;
#if QT_VERSION >= QT_VERSION_CHECK(6, 9, 0)
    return reinterpret_cast<wl_surface*>(window->winId());
#else
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    return native ? static_cast<wl_surface*>(native->nativeResourceForWindow("surface", window)) : nullptr;
#endif
}

wl_output* waylandOutput(QScreen* screen)
{
    if (!screen || !onWayland())
        return nullptr;
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0) && QT_HAS_WAYLAND_INTERFACES
    auto* native = screen->nativeInterface<QNativeInterface::QWaylandScreen>();
    return native ? native->output() : nullptr;
#else
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    return native ? static_cast<wl_output*>(native->nativeResourceForScreen("output", screen)) : nullptr;
#endif
}

#endif

qreal platformPixelRatio(const QWindow* window)
{
    const QPlatformWindow* native = window ? window->handle() : nullptr;
    return native ? native->devicePixelRatio() : 0;
}

void setPlatformMask(QWindow* window, const QRegion& shape)
{
    if (QPlatformWindow* native = window ? window->handle() : nullptr)
        native->setMask(shape);
}

} // namespace kelvo::qtnative
