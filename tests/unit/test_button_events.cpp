// The button's input side: what it paints and raises as the pointer comes,
// goes, presses and releases, in which order and with which arguments.
#include "button/ZorvicClick.h"
#include "platform/fake/FakePointerProbe.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace kelvo;

namespace {

// Records each repaint and event in the order they happen.
class RecordingButton : public ZorvicClick {
public:
    explicit RecordingButton(QWidget* parent)
        : ZorvicClick(parent)
    {
        auto mouse = [this](const char* name) {
            return [this, name](qint16& b, qint16& s, float& x, float& y) {
                log << QStringLiteral("%1 %2 %3 %4 %5").arg(name).arg(b).arg(s).arg(x).arg(y);
            };
        };
        connect(this, &ZorvicClick::MouseDown, this, mouse("down"));
        connect(this, &ZorvicClick::MouseMove, this, mouse("move"));
        connect(this, &ZorvicClick::MouseUp, this, mouse("up"));
        connect(this, &ZorvicClick::Click, this, [this] { log << "click"; });
        connect(this, &ZorvicClick::DblClick, this, [this] { log << "dblclick"; });
        connect(this, &ZorvicClick::MouseOut, this, [this] { log << "out"; });
        connect(this, &ZorvicClick::KeyDown, this,
                [this](qint16& k, qint16& s) { log << QStringLiteral("keydown %1 %2").arg(k).arg(s); });
        connect(this, &ZorvicClick::KeyPress, this,
                [this](qint16& k) { log << QStringLiteral("keypress %1").arg(k); });
        connect(this, &ZorvicClick::KeyUp, this,
                [this](qint16& k, qint16& s) { log << QStringLiteral("keyup %1 %2").arg(k).arg(s); });
    }
    void Redraw(int state) override
    {
        log << QStringLiteral("paint %1").arg(state);
        ZorvicClick::Redraw(state);
    }
    QStringList take()
    {
        QStringList out = log;
        log.clear();
        return out;
    }
    QStringList log;
};

class ButtonEvents : public testing::Test {
protected:
    ButtonEvents()
    {
        ZorvicClick::usePointerProbe(&pointer);
        host.resize(200, 100);
        button = new RecordingButton(&host);
        button->setGeometry(20, 20, 60, 40);
        host.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&host));
        // Shown with the pointer elsewhere, the first tick finds it outside.
        EXPECT_TRUE(QTest::qWaitFor([&] { return button->log.contains("out"); }, 5000));
    }
    ~ButtonEvents() override { ZorvicClick::usePointerProbe(nullptr); }

    void pointerOnButton() { pointer.placeOver(host.winId(), host.mapToGlobal(QPoint(30, 30))); }
    // Runs the event loop while the tracking timer ticks a few times.
    void ticks() { QTest::qWait(4 * ZorvicClick::TrackingPeriodMs); }
    // What was logged once at least `count` entries are there and a few more
    // ticks have shown nothing else follows (a busy machine may be slow to tick).
    QStringList takeAfter(int count)
    {
        // A timeout shows in the caller's comparison of what was logged.
        static_cast<void>(QTest::qWaitFor([&] { return button->log.size() >= count; }, 5000));
        ticks();
        return button->take();
    }
    bool tracking() const
    {
        const QTimer* timer = button->findChild<QTimer*>();
        return timer && timer->isActive();
    }
    void moveOn(QPoint at = QPoint(5, 6))
    {
        QMouseEvent move(QEvent::MouseMove, at, button->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(button, &move);
    }

    FakePointerProbe pointer;
    QWidget host;
    RecordingButton* button = nullptr;
};

} // namespace

TEST_F(ButtonEvents, PointerComingAndGoing)
{
    // Normal (from the resize and the show too), then one MouseOut, and no more.
    const QStringList shown = takeAfter(2);
    EXPECT_EQ(shown.filter("out").size(), 1);
    EXPECT_EQ(shown.mid(shown.size() - 2), (QStringList{"paint 0", "out"}));
    EXPECT_FALSE(tracking());

    // A move raises MouseMove at once and starts tracking; the next tick
    // paints Over; resting paints nothing more.
    pointerOnButton();
    moveOn();
    EXPECT_EQ(button->take(), QStringList{"move 0 0 5 6"});
    ASSERT_TRUE(tracking());
    EXPECT_EQ(takeAfter(1), QStringList{"paint 1"});
    EXPECT_FALSE(button->PointerIsOut);

    // Leaving: Normal first, then one MouseOut, and tracking stops.
    pointer.moveAway();
    EXPECT_EQ(takeAfter(2), (QStringList{"paint 0", "out"}));
    EXPECT_TRUE(button->PointerIsOut);
    EXPECT_FALSE(tracking());

    // Another window in front of ours counts as away.
    pointer.placeOver(host.winId() + 1, host.mapToGlobal(QPoint(30, 30)));
    moveOn();
    EXPECT_EQ(takeAfter(3), (QStringList{"move 0 0 5 6", "paint 0", "out"}));

    // After a resize the first return paints no Over; the next one does.
    button->resize(61, 40);
    EXPECT_EQ(button->take(), QStringList{"paint 0"});
    pointerOnButton();
    moveOn();
    ticks();
    pointer.moveAway();
    EXPECT_EQ(takeAfter(3), (QStringList{"move 0 0 5 6", "paint 0", "out"}));
    pointerOnButton();
    moveOn();
    EXPECT_EQ(takeAfter(2), (QStringList{"move 0 0 5 6", "paint 1"}));
}

TEST_F(ButtonEvents, DisabledControlFindsThePointerOutside)
{
    pointerOnButton();
    moveOn();
    takeAfter(2);
    button->setEnabled(false);
    EXPECT_EQ(takeAfter(2), (QStringList{"paint 0", "out"}));
    EXPECT_FALSE(tracking());
}

TEST_F(ButtonEvents, PressReleaseAndClickOrder)
{
    button->take();
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, QPoint(7, 8));
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, QPoint(7, 8));
    EXPECT_EQ(button->take(),
              (QStringList{"paint 2", "down 1 0 7 8", "paint 1", "up 1 0 7 8", "click"}));

    // Right button: no Down face and no Click; Shift and Ctrl come as bits.
    QTest::mousePress(button, Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier, QPoint(1, 2));
    QTest::mouseRelease(button, Qt::RightButton, Qt::NoModifier, QPoint(1, 2));
    EXPECT_EQ(button->take(), (QStringList{"down 2 3 1 2", "paint 1", "up 2 0 1 2"}));

    // Released outside the control: Over and MouseUp, but no Click.
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, QPoint(7, 8));
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, QPoint(100, 8));
    EXPECT_EQ(button->take(), (QStringList{"paint 2", "down 1 0 7 8", "paint 1", "up 1 0 100 8"}));

    // The second press of a double click is the double click alone.
    QTest::mouseDClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(7, 8));
    EXPECT_TRUE(button->take().contains("dblclick"));
}

TEST_F(ButtonEvents, KeysAreForwardedAndTheAccessKeyClicks)
{
    button->take();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, QStringLiteral("A"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::ShiftModifier, QStringLiteral("A"));
    QApplication::sendEvent(button, &press);
    QApplication::sendEvent(button, &release);
    QTest::keyClick(button, Qt::Key_Left);
    EXPECT_EQ(button->take(), (QStringList{"keydown 65 1", "keypress 65", "keyup 65 1",
                                           "keydown 37 0", "keyup 37 0"}));

    button->setCaption(QStringLiteral("&Go"));
    button->take();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    QTest::keyClick(&host, Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(button->take(), QStringList{"click"});
}

TEST_F(ButtonEvents, ShiftPressWithUserDragMovesTheControlBeforeMouseDown)
{
    button->take();
    button->setUserDrag(true);
    const QPoint start = button->pos();
    // The move and the release come while the press is still being handled.
    QTimer::singleShot(20, [&] { QTest::mouseMove(button, QPoint(17, 13)); });
    QTimer::singleShot(40, [&] {
        QTest::mouseRelease(button, Qt::LeftButton, Qt::ShiftModifier, QPoint(17, 13));
    });
    QTest::mousePress(button, Qt::LeftButton, Qt::ShiftModifier, QPoint(7, 8));
    EXPECT_EQ(button->pos(), start + QPoint(10, 5));
    // Down, then MouseDown once the move is over; the release ended the move
    // and raised nothing.
    EXPECT_EQ(button->take(), (QStringList{"paint 2", "down 1 1 7 8"}));

    // Shift with Ctrl, or without UserDrag, moves nothing.
    QTest::mousePress(button, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, QPoint(7, 8));
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, QPoint(7, 8));
    EXPECT_EQ(button->pos(), start + QPoint(10, 5));
}

TEST_F(ButtonEvents, RestingPointerIsAskedLessOftenAndALeaveIsCheckedAtOnce)
{
    button->take();
    const QTimer* timer = button->findChild<QTimer*>();
    pointerOnButton();
    moveOn();
    ASSERT_TRUE(QTest::qWaitFor([&] { return timer->interval() == ZorvicClick::RestingPeriodMs; }, 5000));
    EXPECT_TRUE(tracking());
    EXPECT_FALSE(button->PointerIsOut);
    // A move brings the quick period back.
    moveOn();
    EXPECT_EQ(timer->interval(), ZorvicClick::TrackingPeriodMs);

    // Told that the pointer left, it looks at once: Normal and MouseOut
    // before any tick could have come.
    ASSERT_TRUE(QTest::qWaitFor([&] { return timer->interval() == ZorvicClick::RestingPeriodMs; }, 5000));
    button->take();
    pointer.moveAway();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(button->take(), (QStringList{"paint 0", "out"}));
    EXPECT_FALSE(tracking());
    EXPECT_EQ(timer->interval(), ZorvicClick::TrackingPeriodMs);
}

TEST_F(ButtonEvents, ControlAppearingUnderAPointerAtRestWaitsForAMove)
{
    // The pointer at a point of the button, as the display server and then
    // as the events say.
    auto enter = [&](QPoint at) {
        pointer.placeOver(host.winId(), button->mapToGlobal(at));
        QEnterEvent event(at, at, button->mapToGlobal(at));
        QApplication::sendEvent(button, &event);
    };
    auto move = [&](QPoint at) {
        pointer.placeOver(host.winId(), button->mapToGlobal(at));
        moveOn(at);
    };
    button->take();
    // A window of ours shown where the pointer rests: neither the enter nor a
    // move that goes nowhere is the pointer moving over the control.
    const QPoint still(8, 9);
    ZorvicClick::PointerStillAt(button->mapToGlobal(still));
    enter(still);
    move(still);
    EXPECT_EQ(button->take(), QStringList{});
    move(still + QPoint(1, 0));
    EXPECT_EQ(button->take(), QStringList{"move 0 0 9 9"});

    // Covered by another window while the pointer rests, then uncovered: the
    // same.
    takeAfter(1);
    pointer.moveAway();
    EXPECT_EQ(takeAfter(2), (QStringList{"paint 0", "out"}));
    enter(still + QPoint(1, 0));
    EXPECT_EQ(button->take(), QStringList{});

    // Coming back from elsewhere is a move, even to the point it left.
    move(QPoint(12, 10));
    takeAfter(2);
    pointer.moveAway(host.mapToGlobal(QPoint(150, 90)));
    takeAfter(2);
    enter(QPoint(12, 10));
    EXPECT_EQ(button->take(), QStringList{"move 0 0 12 10"});
}
