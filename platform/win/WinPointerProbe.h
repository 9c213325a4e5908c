#pragma once
// The pointer probe on Windows: pointerOverWindow() for Qt's windows.

#include "platform/PointerProbe.h"

namespace kelvo {

class WinPointerProbe final : public PointerProbe {
public:
    std::optional<QPoint> pointerIn(WId window) override;
};

} // namespace kelvo
