#include "platform/fake/FakePointerProbe.h"

#include <QGuiApplication>
#include <QWindow>

namespace kelvo {

std::optional<QPoint> FakePointerProbe::pointerIn(WId window)
{
    ++queries_;
    if (!window_ || *window_ != window)
        return std::nullopt;
    for (QWindow* shown : QGuiApplication::topLevelWindows())
        if (shown->winId() == window)
            return (shown->mapFromGlobal(QPointF(position_) / shown->devicePixelRatio()) * shown->devicePixelRatio())
                .toPoint();
    return std::nullopt;
}

bool FakePointerProbe::lookAgain()
{
    if (!whenLookingAgain)
        return false;
    whenLookingAgain();
    return true;
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
