#include "platform/win/WinPointerProbe.h"

#include "platform/win/WinPointer.h"

namespace kelvo {

std::optional<QPoint> WinPointerProbe::pointerIn(WId window)
{
    // Qt's top-level widgets are native top-level windows, their WId the HWND.
    const auto at = pointerOverWindow(reinterpret_cast<HWND>(window));
    if (!at)
        return std::nullopt;
    return QPoint(at->x, at->y);
}

} // namespace kelvo
