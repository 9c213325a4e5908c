#pragma once
// A pointer that is wherever the test puts it.

#include "platform/PointerProbe.h"

#include <functional>

namespace kelvo {

class FakePointerProbe : public PointerProbe {
public:
    std::optional<QPoint> pointerIn(WId window) override;
    std::optional<QPoint> lastPosition() const override { return position_; }

    // Puts the pointer over `window` at `position` on the screen (device
    // pixels), with that window in front of everything else there; asked,
    // it says where that is within the window.
    void placeOver(WId window, QPoint position);
    // Puts the pointer somewhere no window of ours is: at `position` when
    // given (device pixels), else where it was.
    void moveAway(std::optional<QPoint> position = std::nullopt);

    // Run by lookAgain, which then answers true; unset, it answers false.
    std::function<void()> whenLookingAgain;
    bool lookAgain() override;

    // How many times the pointer was asked for.
    int queries() const { return queries_; }

private:
    std::optional<WId> window_;
    QPoint position_;
    int queries_ = 0;
};

} // namespace kelvo
