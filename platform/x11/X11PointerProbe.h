#pragma once
// Asks the X server which top-level window lies under the pointer.

#include "platform/PointerProbe.h"

#include <chrono>

typedef struct _XDisplay Display;

namespace kelvo {

class X11PointerProbe final : public PointerProbe {
public:
    // Null when the display named by DISPLAY cannot be opened.
    static std::unique_ptr<X11PointerProbe> open();
    ~X11PointerProbe() override;

    X11PointerProbe(const X11PointerProbe&) = delete;
    X11PointerProbe& operator=(const X11PointerProbe&) = delete;

    std::optional<QPoint> pointerIn(WId window) override;
    std::optional<QPoint> lastPosition() const override;

private:
    explicit X11PointerProbe(Display* display);
    unsigned long topLevelOf(unsigned long window);

    Display* display_;
    // The child of the root that holds the window last asked about: the
    // window manager's frame around it, or the window itself without one.
    unsigned long window_ = 0;
    unsigned long frame_ = 0;

    // The last answer of the server, reused while it is this fresh.
    static constexpr std::chrono::milliseconds ReuseFor{2};
    std::chrono::steady_clock::time_point answeredAt_;
    bool answered_ = false;
    unsigned long child_ = 0; // the root's child under the pointer
    int rootX_ = 0;
    int rootY_ = 0;
    unsigned long answers_ = 0; // how many answers the server gave
    // The position of the last answer within the window last asked about.
    bool translated_ = false;
    unsigned long translatedAnswer_ = 0;
    unsigned long translatedFor_ = 0;
    QPoint local_;
};

} // namespace kelvo
