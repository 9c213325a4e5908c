// The Wayland pointer probe, fed the events Qt's Wayland plugin makes of the
// compositor's enter, motion and leave.
#include "platform/wayland/WaylandPointerProbe.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

using namespace kelvo;

namespace {

void send(QObject* to, QEvent&& event)
{
    QCoreApplication::sendEvent(to, &event);
}

// Events as Qt makes them: the position on the window and on the screen.
QMouseEvent motion(QWindow* window, QPointF at, Qt::MouseButtons buttons = Qt::NoButton)
{
    return QMouseEvent(QEvent::MouseMove, at, window->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
}

QEnterEvent enter(QWindow* window, QPointF at)
{
    return QEnterEvent(at, at, window->mapToGlobal(at));
}

} // namespace

TEST(WaylandPointerProbe, FollowsTheWindowsEnterMotionAndLeave)
{
    WaylandPointerProbe probe;
    QWidget top;
    top.resize(200, 100);
    top.show();
    QWindow* window = top.windowHandle();
    ASSERT_NE(window, nullptr);
    const WId id = top.winId();
    const auto at = [&](QPointF local) { return (local * window->devicePixelRatio()).toPoint(); };

    EXPECT_FALSE(probe.pointerIn(id));
    send(window, enter(window, QPointF(10, 20)));
    EXPECT_EQ(probe.pointerIn(id), at(QPointF(10, 20)));
    send(window, motion(window, QPointF(50, 60)));
    EXPECT_EQ(probe.pointerIn(id), at(QPointF(50, 60)));
    // Held-button motion off the window is reported to it, but the pointer is not on it.
    send(window, motion(window, QPointF(250, 60), Qt::LeftButton));
    EXPECT_FALSE(probe.pointerIn(id));
    send(window, motion(window, QPointF(40, 30), Qt::LeftButton));
    EXPECT_EQ(probe.pointerIn(id), at(QPointF(40, 30)));
    send(window, QEvent(QEvent::Leave));
    EXPECT_FALSE(probe.pointerIn(id));

    // A leave and an enter that come together: Qt hands the enter to the
    // window's widget, not to the window.
    send(&top, enter(window, QPointF(70, 80)));
    EXPECT_EQ(probe.pointerIn(id), at(QPointF(70, 80)));
    top.hide();
    EXPECT_FALSE(probe.pointerIn(id));
}
