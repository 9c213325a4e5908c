#pragma once
// Where the pointer is, as the display server sees it.

#include <QPoint>
#include <QWindow>

#include <optional>

namespace kelvo {

class PointerProbe {
public:
    virtual ~PointerProbe() = default;

    // The pointer's position within the top-level window `window`, in
    // device pixels from its top-left corner, when that window is the one
    // the display server finds under the pointer; empty when another
    // client's window, a menu or nothing of ours lies at the pointer, or it
    // is on another screen. (Within the window, not on the screen: the
    // server's own answer, which the toolkit's idea of where the window is
    // can lag behind while a window manager places it.)
    virtual std::optional<QPoint> pointerIn(WId window) = 0;

    // Where the pointer was on the screen, in device pixels, when pointerIn
    // last answered, whatever window it was over then; empty where the
    // desktop does not say.
    virtual std::optional<QPoint> lastPosition() const { return std::nullopt; }

    // Has the desktop look again at what lies under the pointer, and takes
    // in its answer (a leave, say) before returning, where the desktop
    // would otherwise wait for the pointer to move to notice a window put
    // over ours where the pointer rests. True when it asked; false where
    // pointerIn always has the desktop's answer of the moment (the X
    // server's), as by default.
    virtual bool lookAgain() { return false; }
};

} // namespace kelvo
