#include "platform/x11/X11PointerProbe.h"

#include <X11/Xlib.h>

#include <chrono>
#include <memory>

namespace kelvo {

std::unique_ptr<X11PointerProbe> X11PointerProbe::open()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    return std::unique_ptr<X11PointerProbe>(new X11PointerProbe(display));
}

X11PointerProbe::X11PointerProbe(Display* display)
    : display_(display)
{
}

X11PointerProbe::~X11PointerProbe()
{
    XCloseDisplay(display_);
}

unsigned long X11PointerProbe::topLevelOf(unsigned long window)
{
    const Window root = DefaultRootWindow(display_);
    Window current = window;
    for (int depth = 0; depth < 64; ++depth) {
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, current, &rootReturn, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        if (parent == root || parent == 0)
            return current;
        current = parent;
    }
    return 0;
}

std::optional<QPoint> X11PointerProbe::lastPosition() const
{
    if (!answered_)
        return std::nullopt;
    return QPoint(rootX_, rootY_);
}

std::optional<QPoint> X11PointerProbe::pointerIn(WId window)
{
    // The server's answer to "which child of the root is under the pointer"
    // honours stacking order and input shapes, so a menu or another client's
    // window in front of ours, or a see-through part of ours, is not ours.
    //
    // Many controls ask at once (every key's tracking tick at start-up, a
    // leave and the form's question that follows it), so an answer is
    // reused for a moment instead of costing a round trip each.
    const auto now = std::chrono::steady_clock::now();
    if (!answered_ || now - answeredAt_ > ReuseFor) {
        const Window root = DefaultRootWindow(display_);
        Window rootReturn = 0;
        int x = 0, y = 0;
        unsigned mask = 0;
        child_ = 0;
        answered_ = XQueryPointer(display_, root, &rootReturn, &child_, &rootX_, &rootY_, &x, &y,
                                  &mask);
        answeredAt_ = now;
        ++answers_;
    }
    const Window child = child_;
    const int rootX = rootX_;
    const int rootY = rootY_;
    if (!answered_ || child == None)
        return std::nullopt;

    if (window_ != window || child != frame_) {
        // A window manager may have put a new frame around the window since
        // we last looked (or started, or gone away).
        window_ = window;
        frame_ = topLevelOf(window);
        if (child != frame_)
            return std::nullopt;
    }
    // The server says where that is in our window (the answer is reused
    // like the one above).
    if (translatedFor_ != window || translatedAnswer_ != answers_) {
        int x = 0, y = 0;
        Window inner = 0;
        translated_ = XTranslateCoordinates(display_, DefaultRootWindow(display_), window, rootX, rootY, &x,
                                            &y, &inner);
        translatedAnswer_ = answers_;
        translatedFor_ = window;
        local_ = QPoint(x, y);
    }
    if (!translated_)
        return std::nullopt;
    return local_;
}

} // namespace kelvo
