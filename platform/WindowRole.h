#pragma once
// What a desktop needs to be told about Kelvo's windows that Qt cannot say
// for every platform: that the keyboard stays above other windows, never
// takes the keyboard focus and is on every workspace; where the usable part
// of the screen is; how a window is placed and dragged.
//
// The base class does it all through Qt alone, which is right for Qt's
// offscreen platform (the unit tests) and a fair start elsewhere; each
// desktop's backend overrides what Qt leaves out there.

#include <QColor>
#include <QPoint>
#include <QRect>

class QWidget;

namespace kelvo {

class WindowRole {
public:
    enum class Kind {
        Keyboard, // the keyboard window: above, unfocused, sticky, shaped
        Dialog,   // the settings dialog: above the others, takes clicks
    };

    virtual ~WindowRole() = default;

    // Gives `window` its role; called before it is first shown and may be
    // called again before a later show (some desktops remake the window's
    // surface each time it is shown).
    virtual void adopt(QWidget* window, Kind kind);

    // The part of the screen the keyboard may use, in logical pixels: the
    // screen `window` is on (the primary one when it has none yet) less the
    // panels and taskbars that reserve an edge.
    virtual QRect workArea(const QWidget* window) const;

    // Puts the top-left corner of `window`'s frame at `topLeft`, in logical
    // screen pixels.
    virtual void moveTo(QWidget* window, QPoint topLeft);

    // Where `window`'s top-left corner is on the screen, in logical pixels.
    virtual QPoint position(const QWidget* window) const;

    // Starts moving `window` with the pointer while the left button stays
    // down; false when nothing will move it and the caller must follow the
    // pointer itself (with moveTo).
    virtual bool startMove(QWidget* window);

    // Draws `window` at `opacity` (0 to 1) where the desktop can.
    virtual void setOpacity(QWidget* window, double opacity);

    // Keeps `window` above every window that is not itself kept on top
    // (`above` true), or lets it go back among them.
    virtual void keepAbove(QWidget* window, bool above);

    // Makes the window's own background, drawn in `key`, see-through, so
    // that only its controls show. The base class paints the background in
    // `key` and leaves the cutting to the window's mask, which the desktop
    // turns into the window's shape.
    virtual void keyOut(QWidget* window, QColor key);

    // True when the desktop can minimise a window and later give it back
    // (a task bar, a window menu); false when a minimised window would be
    // lost to the user.
    virtual bool canMinimize() const { return true; }
};

// The role every window of this process gets: the one the program set up
// with useWindowRole, else the Qt-only base.
WindowRole& currentWindowRole();

// Makes `role` the process's window role (null: the Qt-only base again).
// The role must outlive every window that uses it.
void useWindowRole(WindowRole* role);

} // namespace kelvo
