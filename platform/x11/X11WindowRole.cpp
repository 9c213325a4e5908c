#include "platform/x11/X11WindowRole.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {
// Named before Xlib's headers, whose event names are macros (Expose among them).
constexpr QEvent::Type QtExposeEvent = QEvent::Expose;
}

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace kelvo {

namespace {

// A window manager's placement of a window just shown is put right until
// this long after the manager has mapped it (a busy manager may map it
// seconds after it was shown); after that a move is someone's choice (a
// drag, a tool) and is kept.
constexpr int PlacingMs = 1500;
// Some managers answer a move with a move of their own; this many tries and
// no more.
constexpr int MaxCorrections = 3;
// By then a manager that frames a window has said how wide the frame is.
constexpr int FrameToldMs = 300;

constexpr unsigned long AllDesktops = 0xFFFFFFFF;

// The 32-bit values of a property, as Xlib hands them (in longs).
std::vector<unsigned long> cardinals(Display* display, Window window, Atom property, Atom type)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(display, window, property, 0, 64, False, type, &actualType, &format, &count,
                           &after, &data)
            == Success
        && data && format == 32 && actualType == type) {
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        values.assign(longs, longs + count);
    }
    if (data)
        XFree(data);
    return values;
}

Atom atom(Display* display, const char* name)
{
    return XInternAtom(display, name, False);
}

// Sends the window manager a request about `window`, as the EWMH has
// clients do: a client message to the root window.
void askManager(Display* display, Window window, const char* message, std::initializer_list<long> data)
{
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = atom(display, message);
    request.xclient.format = 32;
    std::copy(data.begin(), data.end(), request.xclient.data.l);
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &request);
    XFlush(display);
}

} // namespace

std::unique_ptr<X11WindowRole> X11WindowRole::open()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    return std::unique_ptr<X11WindowRole>(new X11WindowRole(display));
}

X11WindowRole::X11WindowRole(Display* display)
    : display_(display)
{
    // Which window is active, to hand it back (see activeWindowChanged).
    XSelectInput(display_, DefaultRootWindow(display_), PropertyChangeMask);
    XFlush(display_);
    events_ = new QSocketNotifier(ConnectionNumber(display_), QSocketNotifier::Read, this);
    connect(events_, &QSocketNotifier::activated, this, &X11WindowRole::readEvents);
    activeWindowChanged();
}

X11WindowRole::~X11WindowRole()
{
    XCloseDisplay(display_);
}

X11WindowRole::Place& X11WindowRole::placeOf(QWidget* window)
{
    auto it = places_.find(window);
    if (it == places_.end()) {
        it = places_.insert(window, Place{window, window->pos()});
        window->installEventFilter(this);
        connect(window, &QObject::destroyed, this, [this, window] { places_.remove(window); });
    }
    return *it;
}

void X11WindowRole::adopt(QWidget* window, Kind kind)
{
    Place& place = placeOf(window);
    if (kind == Kind::Keyboard) {
        place.keepInside = true;
        setKeyboardHints(window->winId());
        if (!keyboards_.contains(window->winId())) {
            keyboards_.append(window->winId());
            XSelectInput(display_, window->winId(), PropertyChangeMask);
            XFlush(display_);
        }
    }
}

void X11WindowRole::readEvents()
{
    const Atom active = atom(display_, "_NET_ACTIVE_WINDOW");
    const Atom state = atom(display_, "_NET_WM_STATE");
    bool changed = false;
    while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != PropertyNotify)
            continue;
        changed |= event.xproperty.atom == active;
        if (event.xproperty.atom == state && keyboards_.contains(event.xproperty.window))
            refuseAttention(event.xproperty.window);
    }
    if (changed)
        activeWindowChanged();
}

// A manager may mark the keyboard as demanding attention when it declines
// to activate it at start (kwin does, since Qt asks for a window shown
// without activation); the keyboard asks for no attention and says so.
void X11WindowRole::refuseAttention(unsigned long window)
{
    const Atom demands = atom(display_, "_NET_WM_STATE_DEMANDS_ATTENTION");
    const std::vector<unsigned long> states = cardinals(display_, window, atom(display_, "_NET_WM_STATE"), XA_ATOM);
    if (std::find(states.begin(), states.end(), demands) == states.end())
        return;
    // Remove it, as asked for by an application.
    askManager(display_, window, "_NET_WM_STATE", {0, long(demands), 0, 1});
}

// A manager whose focus follows the pointer (i3's, as it comes) makes the
// keyboard its active window when the pointer moves onto it, though it
// takes no input: the window being typed into would look inactive, and the
// manager would then act on the keyboard. It is handed straight back to the
// window that was active before, as a pager asks for it.
void X11WindowRole::activeWindowChanged()
{
    const Window root = DefaultRootWindow(display_);
    const std::vector<unsigned long> value = cardinals(display_, root, atom(display_, "_NET_ACTIVE_WINDOW"), XA_WINDOW);
    const unsigned long now = value.empty() ? 0 : value.front();
    if (!keyboards_.contains(now)) {
        lastActive_ = now;
        return;
    }
    if (!lastActive_)
        return;
    // Asked for as a pager asks: the user's own choice.
    askManager(display_, lastActive_, "_NET_ACTIVE_WINDOW", {2, CurrentTime});
}

// The hints are chosen for what they make of the keyboard across managers:
// - type NORMAL, then UTILITY: managers that follow the EWMH take the first
//   type they know, and a normal window stays in taskbars and task switchers
//   (metacity, marco and mutter drop utility windows from both); awesome
//   instead takes the most specific type it knows, and its stock
//   configuration puts a title bar on normal windows only. Neither type lets
//   a manager treat the window as a dock or a panel.
// - the ICCCM's "no input" model: WM_HINTS input False (Qt sets it) and no
//   WM_TAKE_FOCUS among the protocols. With WM_TAKE_FOCUS, which Qt always
//   offers, the window is "globally active", and managers that focus under
//   the pointer (awesome, i3) make it the active window or give the focus to
//   a window of their own, so keystrokes would go nowhere.
// - sticky, and on every desktop, so switching workspace does not lose it.
// - above, which Qt sets for the stays-on-top flag; kept when merging.
// The manager removes _NET_WM_STATE when a window is withdrawn, so this is
// done before every show.
void X11WindowRole::setKeyboardHints(unsigned long window)
{
    Display* d = display_;
    const Atom types[] = {atom(d, "_NET_WM_WINDOW_TYPE_NORMAL"), atom(d, "_NET_WM_WINDOW_TYPE_UTILITY")};
    XChangeProperty(d, window, atom(d, "_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(types), 2);

    Atom* protocols = nullptr;
    int count = 0;
    if (XGetWMProtocols(d, window, &protocols, &count)) {
        const Atom takeFocus = atom(d, "WM_TAKE_FOCUS");
        std::vector<Atom> kept;
        for (int i = 0; i < count; ++i)
            if (protocols[i] != takeFocus)
                kept.push_back(protocols[i]);
        XSetWMProtocols(d, window, kept.data(), int(kept.size()));
        XFree(protocols);
    }

    XWMHints* hints = XGetWMHints(d, window);
    XWMHints noInput{};
    XWMHints* wanted = hints ? hints : &noInput;
    wanted->flags |= InputHint;
    wanted->input = False;
    XSetWMHints(d, window, wanted);
    if (hints)
        XFree(hints);

    const Atom state = atom(d, "_NET_WM_STATE");
    std::vector<unsigned long> states = cardinals(d, window, state, XA_ATOM);
    for (const char* name : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE"}) {
        const Atom wantedState = atom(d, name);
        if (std::find(states.begin(), states.end(), wantedState) == states.end())
            states.push_back(wantedState);
    }
    XChangeProperty(d, window, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(states.data()), int(states.size()));

    const unsigned long desktop = AllDesktops;
    XChangeProperty(d, window, atom(d, "_NET_WM_DESKTOP"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&desktop), 1);
    // Done before Qt, on its own connection, asks for the window to be mapped.
    XSync(d, False);
}

QRect X11WindowRole::workArea(const QWidget* window) const
{
    // Qt reads _NET_WORKAREA where the manager publishes one.
    const Window root = DefaultRootWindow(display_);
    if (!cardinals(display_, root, atom(display_, "_NET_WORKAREA"), XA_CARDINAL).empty())
        return WindowRole::workArea(window);
    QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const qreal ratio = screen->devicePixelRatio();
    const QRect logical = screen->geometry();
    const QRect device(logical.topLeft() * ratio, logical.size() * ratio);
    const QRect usable = screenLessStruts(device);
    return QRect(usable.topLeft() / ratio, usable.size() / ratio);
}

// Without a published work area, the usable part of the screen is what the
// docks and panels leave: each reserves a strip along an edge of the whole
// X screen, over part of that edge (_NET_WM_STRUT_PARTIAL), or all of it
// (the older _NET_WM_STRUT).
QRect X11WindowRole::screenLessStruts(const QRect& screen) const
{
    Display* d = display_;
    const Window root = DefaultRootWindow(d);
    const int rootWidth = DisplayWidth(d, DefaultScreen(d));
    const int rootHeight = DisplayHeight(d, DefaultScreen(d));
    const Atom partial = atom(d, "_NET_WM_STRUT_PARTIAL");
    const Atom whole = atom(d, "_NET_WM_STRUT");

    // A manager that reparents puts the dock in a frame: look one level down.
    std::vector<Window> candidates;
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(d, root, &rootReturn, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(d, children[i], &attributes) || attributes.map_state != IsViewable)
                continue;
            candidates.push_back(children[i]);
            Window* inner = nullptr;
            unsigned innerCount = 0;
            if (XQueryTree(d, children[i], &rootReturn, &parent, &inner, &innerCount)) {
                candidates.insert(candidates.end(), inner, inner + innerCount);
                if (inner)
                    XFree(inner);
            }
        }
        if (children)
            XFree(children);
    }

    QRect usable = screen;
    for (const Window candidate : candidates) {
        std::vector<unsigned long> strut = cardinals(d, candidate, partial, XA_CARDINAL);
        if (strut.size() < 12) {
            strut = cardinals(d, candidate, whole, XA_CARDINAL);
            if (strut.size() < 4)
                continue;
            strut.resize(12, 0);
            // Over the whole edge.
            strut[5] = strut[7] = ulong(rootHeight - 1);
            strut[9] = strut[11] = ulong(rootWidth - 1);
        }
        const auto n = [&](int i) { return int(strut[size_t(i)]); };
        // Each strip as a rectangle of the X screen, cut from the screen it falls on.
        const QRect left(0, n(4), n(0), n(5) - n(4) + 1);
        const QRect right(rootWidth - n(1), n(6), n(1), n(7) - n(6) + 1);
        const QRect top(n(8), 0, n(9) - n(8) + 1, n(2));
        const QRect bottom(n(10), rootHeight - n(3), n(11) - n(10) + 1, n(3));
        if (n(0) > 0 && left.intersects(screen))
            usable.setLeft(std::max(usable.left(), left.right() + 1));
        if (n(1) > 0 && right.intersects(screen))
            usable.setRight(std::min(usable.right(), right.left() - 1));
        if (n(2) > 0 && top.intersects(screen))
            usable.setTop(std::max(usable.top(), top.bottom() + 1));
        if (n(3) > 0 && bottom.intersects(screen))
            usable.setBottom(std::min(usable.bottom(), bottom.top() - 1));
    }
    return usable.isValid() ? usable : screen;
}

void X11WindowRole::keepFrameInside(Place& place)
{
    // Where the manager draws a border (awesome's, a pixel wide) the window's
    // corner at the work area's would put the border beyond it. The frame is
    // taken where the window is wanted, not where it is: a manager taking
    // the window over moves it about first (i3 into a frame beyond the
    // screen's top-left corner, then to its place).
    if (!place.keepInside || place.dragged)
        return;
    QWidget* window = place.window;
    const QRect area = workArea(window);
    const QRect now = window->frameGeometry();
    // Not yet a frame around the window (i3's first is 10 x 10).
    if (!now.contains(window->geometry()))
        return;
    const QRect frame(place.wanted, now.size());
    if (frame.width() > area.width() || frame.height() > area.height())
        return;
    QPoint shift;
    if (frame.right() > area.right())
        shift.rx() = area.right() - frame.right();
    else if (frame.left() < area.left())
        shift.rx() = area.left() - frame.left();
    if (frame.bottom() > area.bottom())
        shift.ry() = area.bottom() - frame.bottom();
    else if (frame.top() < area.top())
        shift.ry() = area.top() - frame.top();
    if (shift.isNull())
        return;
    place.wanted += shift;
    window->move(place.wanted);
}

void X11WindowRole::moveTo(QWidget* window, QPoint topLeft)
{
    placeOf(window).wanted = topLeft;
    window->move(topLeft);
}

bool X11WindowRole::startMove(QWidget* window)
{
    placeOf(window).dragged = true;
    return WindowRole::startMove(window);
}

void X11WindowRole::mapped(QObject* handle)
{
    for (Place& place : places_) {
        QWidget* window = place.window;
        if (!window || window->windowHandle() != handle || !place.placing || place.mapped)
            continue;
        place.mapped = true;
        const int shown = place.shown;
        auto current = [this, window, shown]() -> Place* {
            auto found = places_.find(window);
            return found != places_.end() && found->window && found->shown == shown ? &*found : nullptr;
        };
        QTimer::singleShot(PlacingMs, this, [current] {
            if (Place* p = current())
                p->placing = false;
        });
        // A frame's width may be told only after the window has moved into it.
        QTimer::singleShot(FrameToldMs, this, [this, current] {
            if (Place* p = current(); p && p->placing)
                keepFrameInside(*p);
        });
    }
}

bool X11WindowRole::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QtExposeEvent) {
        if (auto* handle = qobject_cast<QWindow*>(watched); handle && handle->isExposed())
            mapped(handle);
        return false;
    }
    if (!watched->isWidgetType())
        return false;
    auto it = places_.find(static_cast<QWidget*>(watched));
    if (it == places_.end() || !it->window)
        return false;
    Place& place = *it;
    QWidget* window = place.window;
    switch (event->type()) {
    case QEvent::Show:
        // Managers may place a window anew each time it is mapped (awesome
        // away from others, i3 offset by the frame it does not draw); it
        // goes back to where it was asked to be, or was dragged to.
        // The time for that runs from when the manager maps it.
        place.placing = true;
        place.mapped = false;
        ++place.shown;
        place.corrections = 0;
        place.dragged = false;
        if (QWindow* handle = window->windowHandle())
            handle->installEventFilter(this);
        if (window->pos() != place.wanted)
            window->move(place.wanted);
        break;
    case QEvent::Move:
        if (place.dragged || !place.placing) {
            place.wanted = window->pos();
        } else {
            keepFrameInside(place);
            if (window->pos() != place.wanted && place.corrections < MaxCorrections) {
                ++place.corrections;
                // Asked after the manager's own move has been handled.
                QTimer::singleShot(0, this, [this, window] {
                    if (auto found = places_.find(window); found != places_.end() && window
                        && window->pos() != found->wanted)
                        window->move(found->wanted);
                });
            }
        }
        break;
    default:
        break;
    }
    return false;
}

} // namespace kelvo
