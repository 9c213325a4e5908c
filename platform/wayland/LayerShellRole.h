#pragma once
// Kelvo's windows as layer surfaces (zwlr_layer_shell_v1): on the overlay
// layer, above every window and panel, anchored to the bottom-right corner
// of the output's usable area (what the panels leave), placed by their
// margins from it and never given the keyboard focus.
//
// Qt has no public way to this; it relies on three things Qt's Wayland
// plugin does. With QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT set before the
// plugin starts, a window with Qt::BypassWindowManagerHint gets a wl_surface
// without a shell role, made with the native window; Qt hands out that
// surface and its connection, which the layer surface must share
// (platform/QtNative.h); and QWidget::setMask becomes the surface's input
// region. Up to Qt 6.8 Qt takes the surface away when such a window is
// hidden and makes a new one when it is shown again; later Qt keeps it,
// with its last buffer. Either way the role is dropped as the window starts
// to hide and given afresh, on a surface holding no buffer, when it is next
// exposed, before Qt draws into it.
//
// Positions are in the coordinates Qt reports for these windows: a window
// placed at workArea()'s bottom-right corner has margins of 0. Wayland does
// not tell a client where panels are, so workArea() is the whole output; the
// compositor keeps the surfaces clear of them.

#include "platform/WindowRole.h"

#include <QObject>
#include <QPointer>
#include <QWindow>

#include <cstdint>
#include <memory>
#include <vector>

struct wl_display;
struct wl_event_queue;
struct wl_output;
struct wl_pointer;
struct wl_seat;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct zwp_relative_pointer_manager_v1;
struct zwp_relative_pointer_v1;
typedef std::int32_t wl_fixed_t;

namespace kelvo {

class LayerShellRole final : public QObject, public WindowRole {
public:
    // What the role binds on Qt's connection: the layer shell, and for
    // following a drag the seat and relative pointer motion.
    struct Globals {
        zwlr_layer_shell_v1* shell = nullptr;
        wl_seat* seat = nullptr;
        zwp_relative_pointer_manager_v1* relative = nullptr;
    };

    // Binds the layer shell on the application's Wayland connection; null
    // when that connection offers none. Call once the application exists.
    static std::unique_ptr<LayerShellRole> open();
    ~LayerShellRole() override;

    void adopt(QWidget* window, Kind kind) override;
    QRect workArea(const QWidget* window) const override;
    void moveTo(QWidget* window, QPoint topLeft) override;
    QPoint position(const QWidget* window) const override;
    // A layer surface moves only by its margins: the role moves it while
    // the left button that went down on it stays down.
    bool startMove(QWidget* window) override;
    // Qt draws a Wayland window opaque whatever its window opacity, so each
    // control is drawn at `opacity` instead.
    void setOpacity(QWidget* window, double opacity) override;
    // The overlay layer is above every window already: nothing to do.
    void keepAbove(QWidget* window, bool above) override;
    // The window is drawn translucent, its background left empty.
    void keyOut(QWidget* window, QColor key) override;
    // A layer surface has no minimised state a desktop could restore.
    bool canMinimize() const override { return false; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One of our windows and the role its current surface has.
    struct Surface {
        LayerShellRole* role;
        QPointer<QWidget> widget;
        QPointer<QWindow> watched;             // its native window, watched for shows and hides
        Kind kind = Kind::Keyboard;
        QPoint topLeft;                        // where it was last put
        bool placed = false;                   // topLeft is set
        wl_surface* surface = nullptr;         // Qt's surface the role is for
        zwlr_layer_surface_v1* layer = nullptr;
        wl_output* output = nullptr;           // the one asked for; null for the compositor's choice
        bool configured = false;
        bool closed = false;                   // the compositor ended its role; no new one yet
    };

    LayerShellRole(wl_display* display, wl_event_queue* queue, const Globals& globals);

    Surface* find(const QWidget* window) const;
    void giveRole(Surface& surface);
    void dropRole(Surface& surface);
    // A new role for a window whose role the compositor ended, drawn afresh.
    void remake(Surface& surface);
    void applyPlace(Surface& surface);
    std::uint32_t layerFor(const Surface& surface) const;
    // Makes (or drops) our pointer as the seat gains (or loses) one.
    void followPointer(bool seatHasPointer);
    void restack();

    static void onConfigure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial,
                            std::uint32_t width, std::uint32_t height);
    static void onClosed(void* data, zwlr_layer_surface_v1* layer);
    static void onRelativeMotion(void* data, zwp_relative_pointer_v1* pointer, std::uint32_t timeHigh,
                                 std::uint32_t timeLow, wl_fixed_t dx, wl_fixed_t dy, wl_fixed_t dxRaw,
                                 wl_fixed_t dyRaw);

    wl_display* display_;    // Qt's
    wl_event_queue* queue_;  // ours on it: Qt never dispatches our events
    zwlr_layer_shell_v1* shell_;
    wl_seat* seat_;
    zwp_relative_pointer_manager_v1* relativeManager_;
    wl_pointer* pointer_ = nullptr;              // ours, for its relative motion
    zwp_relative_pointer_v1* relative_ = nullptr;
    std::vector<std::unique_ptr<Surface>> surfaces_;
    Surface* dragging_ = nullptr; // the surface following the pointer
    QPoint dragFrom_;             // where it was when the drag began
    QPointF dragMoved_;           // how far the pointer has gone since
    QPointF pressedAt_;           // where on its window the last button went down
    QPointF sincePress_;          // how far the pointer has gone since the left button last went down
};

} // namespace kelvo
