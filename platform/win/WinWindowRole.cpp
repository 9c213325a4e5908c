#include "platform/win/WinWindowRole.h"

#include <QEvent>
#include <QWidget>

#include <windows.h>

namespace kelvo {

namespace {

HWND handleOf(QWidget* window)
{
    return reinterpret_cast<HWND>(window->winId());
}

} // namespace

void WinWindowRole::adopt(QWidget* window, Kind kind)
{
    if (kind != Kind::Keyboard)
        return;
    const HWND hwnd = handleOf(window);
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    window->removeEventFilter(this);
    window->installEventFilter(this);
}

bool WinWindowRole::startMove(QWidget*)
{
    // The system's move loop (SC_MOVE, or WM_NCLBUTTONDOWN on the caption)
    // activates the window it moves under Wine, taking the focus from the
    // window being typed into; following the pointer ourselves keeps it.
    return false;
}

void WinWindowRole::setOpacity(QWidget* window, double opacity)
{
    // Qt keeps its own idea of the opacity and makes the window layered.
    WindowRole::setOpacity(window, opacity);
    layering_[window].alpha = qBound(0, qRound(opacity * 255), 255);
    applyLayering(window);
}

void WinWindowRole::keyOut(QWidget* window, QColor key)
{
    // The background is painted in the key as everywhere, and the layered
    // window's colour key makes those pixels see-through and lets the pointer
    // through them too.
    WindowRole::keyOut(window, key);
    layering_[window].key = key;
    applyLayering(window);
}

void WinWindowRole::applyLayering(QWidget* window)
{
    const Layering& layering = layering_[window];
    const HWND hwnd = handleOf(window);
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    // Qt sets the alpha alone; the colour key has to go in the same call.
    DWORD flags = LWA_ALPHA;
    COLORREF key = 0;
    if (layering.key.isValid()) {
        flags |= LWA_COLORKEY;
        key = RGB(layering.key.red(), layering.key.green(), layering.key.blue());
    }
    SetLayeredWindowAttributes(hwnd, key, BYTE(layering.alpha), flags);
}

void WinWindowRole::keepAbove(QWidget* window, bool above)
{
    SetWindowPos(handleOf(window), above ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool WinWindowRole::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Destroy)
        layering_.remove(watched);
    return false;
}

} // namespace kelvo
