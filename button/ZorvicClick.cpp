#include "button/ZorvicClick.h"

#include "button/DevicePixels.h"

#include "platform/Platform.h"
#include "platform/PointerProbe.h"

#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPixmap>
#include <QPainter>
#include <QPointer>
#include <QShortcutEvent>
#include <QWindow>

namespace kelvo {

namespace {

PointerProbe* probe = nullptr;
// Where the pointer rested when controls last came or went from under it;
// empty once it has moved since.
std::optional<QPoint> stillAt;

// A pointing hand, its fingertip the hot spot.
const QCursor& handCursor()
{
    // Made once: a cursor from a picture is converted to a bitmap and mask.
    static const QCursor hand = [] {
        const QPixmap picture = QPixmap::fromImage(readImage(QStringLiteral(":/button/hand.png")));
        return picture.isNull() ? QCursor(Qt::PointingHandCursor) : QCursor(picture, 7, 3);
    }();
    return hand;
}

// The Button, Shift, X and Y arguments of a mouse event, as they are raised.
struct MouseArgs {
    qint16 button;
    qint16 shift;
    float x;
    float y;
};

} // namespace

qint16 buttonBits(Qt::MouseButtons buttons)
{
    qint16 bits = 0;
    if (buttons & Qt::LeftButton)
        bits |= 1;
    if (buttons & Qt::RightButton)
        bits |= 2;
    if (buttons & Qt::MiddleButton)
        bits |= 4;
    return bits;
}

qint16 shiftBits(Qt::KeyboardModifiers modifiers)
{
    qint16 bits = 0;
    if (modifiers & Qt::ShiftModifier)
        bits |= 1;
    if (modifiers & Qt::ControlModifier)
        bits |= 2;
    if (modifiers & Qt::AltModifier)
        bits |= 4;
    return bits;
}

qint16 virtualKeyCode(int key)
{
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return qint16(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return qint16(112 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Menu: return 93;
    default: return 0;
    }
}

namespace {

MouseArgs mouseArgs(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPointF at)
{
    return {buttonBits(buttons), shiftBits(modifiers), float(at.x()), float(at.y())};
}

} // namespace

void ZorvicClick::usePointerProbe(PointerProbe* pointer)
{
    probe = pointer;
}

void ZorvicClick::PointerStillAt(QPoint globalPos)
{
    stillAt = globalPos;
}

bool ZorvicClick::LookAgainAtPointer()
{
    return probe && probe->lookAgain();
}

bool ZorvicClick::pointerMovedTo(QPoint globalPos)
{
    if (stillAt && *stillAt == globalPos)
        return false;
    stillAt.reset();
    return true;
}

void ZorvicClick::notePointerLeft()
{
    // A window put over us, or ours taken away, leaves the pointer where it
    // was; coming back into view there is no move. Going to another control
    // of ours is one.
    // (Only a control the pointer was seen moving over can have been left
    // that way; the others' first tick after start would ask for nothing.)
    // The position is the one the pointer had when it was found outside, not
    // a later one: by then it may be back where it left.
    std::optional<QPoint> at;
    if (movedOver_ && pointerOutside(&at))
        stillAt = at ? *at : QCursor::pos();
    movedOver_ = false;
}

bool ZorvicClick::pointerOutside(std::optional<QPoint>* at) const
{
    const QWidget* top = window();
    if (!probe || !top->windowHandle() || probe->pointerIn(top->winId()))
        return false;
    const std::optional<QPoint> device = probe->lastPosition();
    *at = device ? std::optional<QPoint>((QPointF(*device) / top->devicePixelRatioF()).toPoint()) : std::nullopt;
    return true;
}

namespace {

// Where the last pointer move reached a window, as the window system gave it.
struct ExactMove : QObject {
    QPointer<QWindow> window;
    QPointF at;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseMove && watched->isWindowType()) {
            window = static_cast<QWindow*>(watched);
            at = static_cast<QMouseEvent*>(event)->position();
        }
        return false;
    }
};

ExactMove& exactMove()
{
    static ExactMove* watching = [] {
        auto* filter = new ExactMove;
        QCoreApplication::instance()->installEventFilter(filter);
        return filter;
    }();
    return *watching;
}

} // namespace

ZorvicClick::ZorvicClick(QWidget* parent)
    : QWidget(parent)
{
    exactMove();
    pic_ = QImage(100, 40, QImage::Format_RGB32);
    pic_.fill(Qt::black);
    setMouseTracking(true);
    setCursor(handCursor());
    font_ = std::make_shared<QFont>(QWidget::font());
    setFocusPolicy(Qt::TabFocus);
    OverTimer.setInterval(TrackingPeriodMs);
    connect(&OverTimer, &QTimer::timeout, this, &ZorvicClick::OverTimer_Timer);
    // Tracking runs from creation, so a control the pointer is not on finds
    // that out at its first tick and says so once.
    OverTimer.start();
}

void ZorvicClick::updateAccessKey()
{
    if (accessKey_)
        releaseShortcut(accessKey_);
    accessKey_ = 0;
    const QKeySequence key = QKeySequence::mnemonic(caption_);
    if (!key.isEmpty())
        accessKey_ = grabShortcut(key);
}

bool ZorvicClick::IsPointerOver()
{
    // A disabled or hidden window is never the one under the pointer.
    QWidget* top = window();
    if (!probe || !isEnabled() || !isVisible() || !top->windowHandle())
        return false;
    const std::optional<QPoint> at = probe->pointerIn(top->winId());
    if (!at)
        return false;
    // The logical pixel that holds the device pixel under the pointer.
    QWidget* child = top->childAt(logicalPixelAt(*at, top->devicePixelRatioF()));
    return child == this || (child && isAncestorOf(child));
}

ZorvicClick* ZorvicClick::at(QWidget* window, QPointF windowPos)
{
    const qreal ratio = window->devicePixelRatioF();
    for (QWidget* w = window->childAt(logicalPixelAt(devicePixelUnder(windowPos, ratio), ratio)); w;
         w = w == window ? nullptr : w->parentWidget())
        if (auto* control = qobject_cast<ZorvicClick*>(w))
            return control;
    return nullptr;
}

bool ZorvicClick::handMoveOn(QWidget* receiver, QMouseEvent* event)
{
    // Qt gives a move to the widget under the logical point nearest the
    // pointer, which beyond one device pixel to the logical pixel may be
    // half a logical pixel from the device pixel the user sees it on.
    QWidget* window = receiver->window();
    if (window->devicePixelRatioF() == 1)
        return false;
    // Qt rounds the position on its way to a child widget (6.8 the one in
    // the window too): the window's own event has it whole.
    QPointF inWindow = event->scenePosition();
    const ExactMove& exact = exactMove();
    if (exact.window && exact.window == window->windowHandle() && (exact.at - inWindow).manhattanLength() <= 1)
        inWindow = exact.at;
    ZorvicClick* owner = at(window, inWindow);
    if (owner == receiver)
        return false;
    if (owner) {
        QMouseEvent move(QEvent::MouseMove, owner->mapFrom(window, inWindow), inWindow, event->globalPosition(),
                         Qt::NoButton, event->buttons(), event->modifiers(), event->pointingDevice());
        QCoreApplication::sendEvent(owner, &move);
    }
    return true;
}

void ZorvicClick::OverTimer_Timer()
{
    if (!IsPointerOver()) {
        OverTimer.stop();
        OverTimer.setInterval(TrackingPeriodMs);
        notePointerLeft();
        PointerIsOut = true;
        Redraw(StateNormal);
        emit MouseOut();
    } else if (PointerIsOut && IsPointerOver()) {
        // (Asked in this order, a pointer resting on the control costs one
        // question to the display server per tick, not two.)
        // Already running: enabling it again leaves its period alone.
        if (!OverTimer.isActive())
            OverTimer.start();
        Redraw(StateOver);
        PointerIsOut = false;
    } else if (++quietTicks_ >= QuietTicksBeforeResting && OverTimer.interval() != RestingPeriodMs) {
        // A resting pointer is asked after less often.
        OverTimer.setInterval(RestingPeriodMs);
    }
}

bool ZorvicClick::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut
        && static_cast<QShortcutEvent*>(event)->shortcutId() == accessKey_) {
        emit Click();
        return true;
    }
    // On a screen of another ratio (the window was moved to one, or the
    // desktop's scale changed) the face is painted again for its pixels.
    const bool ratioMayHaveChanged = event->type() == QEvent::ScreenChangeInternal
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
        || event->type() == QEvent::DevicePixelRatioChange
#endif
        ;
    const bool handled = QWidget::event(event);
    if (ratioMayHaveChanged && paintedAs_.state >= 0 && devicePixelRatioF() != paintedAs_.ratio)
        Redraw(StateNormal);
    return handled;
}

void ZorvicClick::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (shown_.isNull()) {
        painter.drawImage(0, 0, image_);
    } else {
        // Our top-left lies between device pixels at a fractional ratio: the
        // face goes pixel for pixel onto the device pixels it was painted
        // for, from the one that corner rounds to.
        const QTransform toDevice = painter.deviceTransform();
        painter.save();
        painter.setWorldTransform(QTransform::fromTranslate(qRound(toDevice.dx()), qRound(toDevice.dy()))
                                  * toDevice.inverted());
        painter.drawImage(0, 0, shown_);
        painter.restore();
    }
    if (borderStyle_ == 1) {
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void ZorvicClick::resizeEvent(QResizeEvent*)
{
    PointerIsOut = false;
    repaintNormal();
}

void ZorvicClick::showEvent(QShowEvent*)
{
    repaintNormal();
}

void ZorvicClick::changeEvent(QEvent* event)
{
    // The host's palette or font changing is the container's ambient change.
    // The face takes no colour from the host's palette, only system colours
    // from the application's: when that is unchanged the face would be
    // painted as it is.
    if (event->type() == QEvent::PaletteChange) {
        repaintNormal();
    } else if (event->type() == QEvent::FontChange && !applyingFont_) {
        ++generation_;
        Redraw(StateNormal);
    }
    QWidget::changeEvent(event);
}

void ZorvicClick::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_) {
        move(mapToParent(event->position().toPoint()) - dragOffset_);
        return;
    }
    if (!pointerMovedTo(event->globalPosition().toPoint()) || handMoveOn(this, event))
        return;
    pointerMovedOver(event->buttons(), event->modifiers(), event->position());
}

void ZorvicClick::enterEvent(QEnterEvent* event)
{
    // Coming back to the very point it left from is no move to Qt, but it is
    // the pointer moving over the control; a control that came into view
    // under a pointer at rest is not.
    QWidget::enterEvent(event);
    if (!pointerMovedTo(event->globalPosition().toPoint()))
        return;
    QMouseEvent move(QEvent::MouseMove, event->position(), event->scenePosition(), event->globalPosition(),
                     Qt::NoButton, QGuiApplication::mouseButtons(), QGuiApplication::keyboardModifiers());
    if (handMoveOn(this, &move))
        return;
    pointerMovedOver(QGuiApplication::mouseButtons(), QGuiApplication::keyboardModifiers(),
                     event->position());
}

void ZorvicClick::leaveEvent(QEvent* event)
{
    // The window system says the pointer went; while tracking, make sure at
    // once rather than at the next tick.
    QWidget::leaveEvent(event);
    if (OverTimer.isActive()) {
        OverTimer_Timer();
    } else if (stillAt) {
        // Leaving a control that came into view under the pointer: the
        // pointer moved, unless a window was put over us where it rests.
        std::optional<QPoint> at;
        if (pointerOutside(&at) && at && *at != *stillAt)
            stillAt.reset();
    }
}

void ZorvicClick::pointerMovedOver(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                                   QPointF at)
{
    quietTicks_ = 0;
    movedOver_ = true;
    if (!OverTimer.isActive())
        OverTimer.start();
    else if (OverTimer.interval() != TrackingPeriodMs)
        OverTimer.setInterval(TrackingPeriodMs);
    MouseArgs a = mouseArgs(buttons, modifiers, at);
    emit MouseMove(a.button, a.shift, a.x, a.y);
}

void ZorvicClick::mousePressEvent(QMouseEvent* event)
{
    // Let what is already queued (a tracking tick, a paint, the host's
    // handlers for them) run before the press is handled. A quick click's
    // release may be among them: it must find the press already noted.
    pressed_ = true;
    DoEvents();
    MouseArgs a = mouseArgs(event->button(), event->modifiers(), event->position());
    if (a.button == 1)
        Redraw(StateDown);
    if (a.shift == 1 && userDrag_) {
        dragOffset_ = event->position().toPoint();
        UserDragMove();
    }
    emit MouseDown(a.button, a.shift, a.x, a.y);
}

void ZorvicClick::UserDragMove()
{
    // The control follows the pointer inside its container until the button
    // is released; the release ends the move and is not reported.
    dragging_ = true;
    QEventLoop loop;
    const auto conn = connect(this, &ZorvicClick::destroyed, &loop, &QEventLoop::quit);
    while (dragging_ && QGuiApplication::mouseButtons() != Qt::NoButton)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    disconnect(conn);
    dragging_ = false;
    pressed_ = false;
}

void ZorvicClick::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_) {
        dragging_ = false;
        return;
    }
    Redraw(StateOver);
    MouseArgs a = mouseArgs(event->button(), event->modifiers(), event->position());
    const bool click = pressed_ && event->button() == Qt::LeftButton
        && rect().contains(event->position().toPoint());
    pressed_ = false;
    emit MouseUp(a.button, a.shift, a.x, a.y);
    if (click)
        emit Click();
}

void ZorvicClick::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is reported as the double click
    // alone; its release raises MouseUp but no second Click.
    pressed_ = false;
    if (event->button() == Qt::LeftButton)
        emit DblClick();
}

void ZorvicClick::keyPressEvent(QKeyEvent* event)
{
    qint16 keyCode = virtualKeyCode(event->key());
    qint16 shift = shiftBits(event->modifiers());
    emit KeyDown(keyCode, shift);
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).unicode() < 256) {
        qint16 ascii = qint16(text.at(0).unicode());
        emit KeyPress(ascii);
    }
}

void ZorvicClick::keyReleaseEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat())
        return;
    qint16 keyCode = virtualKeyCode(event->key());
    qint16 shift = shiftBits(event->modifiers());
    emit KeyUp(keyCode, shift);
}

void ZorvicClick::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    emit GotFocus();
}

} // namespace kelvo
