#pragma once
// What we need of Qt's platform plugins beyond Qt's public API, in one
// place: the native objects behind Qt's windows and screens. Where the Qt we
// are built with has a public way, it is taken; the private ways are kept
// for the older Qt that lacks one (the versions are given beside each).
// Only virtual members of Qt's private classes are called, so no symbol of
// Qt's private API is linked and a build runs on later Qt releases too.

#include <QRegion>

class QScreen;
class QWindow;
struct wl_display;
struct wl_output;
struct wl_surface;

namespace kelvo::qtnative {

// Qt's connection to the Wayland compositor; null where Qt does not run on
// Wayland. Public from Qt 6.5.
wl_display* waylandDisplay();

// The wl_surface of a window Qt shows on Wayland; null before Qt has made
// one, or off Wayland. Public from Qt 6.9 (the window's winId).
wl_surface* waylandSurface(QWindow* window);

// The wl_output of a screen on Wayland; null off Wayland. Public from Qt 6.7.
wl_output* waylandOutput(QScreen* screen);

// The device pixel ratio the platform window itself works at (1 where it
// counts device pixels whatever Qt's scale, as on X11 and Windows), or 0
// while the window has none. Private in every Qt 6.
qreal platformPixelRatio(const QWindow* window);

// Gives the platform window its input and visible shape in the platform's
// own pixels, where Qt would hand it the logical shape scaled up. Private
// in every Qt 6.
void setPlatformMask(QWindow* window, const QRegion& shape);

} // namespace kelvo::qtnative
