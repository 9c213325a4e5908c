#include "platform/win/WinPointer.h"

namespace kelvo {

std::optional<POINT> pointerOverWindow(HWND window)
{
    POINT at{};
    if (!window || !GetCursorPos(&at))
        return std::nullopt;
    // WindowFromPoint skips hidden and disabled windows and those that let
    // the pointer through, and answers a child; its root is the top-level
    // window that takes the pointer there.
    const HWND under = WindowFromPoint(at);
    if (!under || GetAncestor(under, GA_ROOT) != window)
        return std::nullopt;
    return at;
}

} // namespace kelvo
