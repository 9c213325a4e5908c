#pragma once
// The pointer probe on Windows: pointerOverWindow() for Qt's windows.

#include "platform/PointerProbe.h"

namespace kelvo {

class WinPointerProbe final : public PointerProbe {
public:
    std::optional<QPoint> pointerIn(WId window) override;
    std::optional<QPoint> lastPosition() const override { return last_; }

private:
    std::optional<QPoint> last_; // the cursor on the screen at the last question
};

} // namespace kelvo
