#include "platform/fake/FakePointerProbe.h"

namespace kelvo {

std::optional<QPoint> FakePointerProbe::pointerIn(WId window)
{
    ++queries_;
    if (window_ && *window_ == window)
        return position_;
    return std::nullopt;
}

void FakePointerProbe::placeOver(WId window, QPoint position)
{
    window_ = window;
    position_ = position;
}

void FakePointerProbe::moveAway(std::optional<QPoint> position)
{
    window_.reset();
    if (position)
        position_ = *position;
}

} // namespace kelvo
