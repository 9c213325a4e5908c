#include "platform/win/WinPointerProbe.h"

#include "platform/win/WinPointer.h"

namespace kelvo {

std::optional<QPoint> WinPointerProbe::pointerIn(WId window)
{
    // Qt's top-level widgets are native top-level windows, their WId the HWND.
    const auto hwnd = reinterpret_cast<HWND>(window);
    POINT cursor{};
    last_ = GetCursorPos(&cursor) ? std::optional<QPoint>(QPoint(cursor.x, cursor.y)) : std::nullopt;
    auto at = pointerOverWindow(hwnd);
    // The keyboard has no frame: its client area is the whole window.
    if (!at || !ScreenToClient(hwnd, &*at))
        return std::nullopt;
    return QPoint(at->x, at->y);
}

} // namespace kelvo
