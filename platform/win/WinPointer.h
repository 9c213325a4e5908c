#pragma once
// The window under the pointer as Windows sees it, in plain Win32 (no Qt).

#include <windows.h>

#include <optional>

namespace kelvo {

// The pointer's position on the screen, in physical pixels, when the
// top-level window whose pixel lies under the pointer is `window`
// (GetCursorPos, WindowFromPoint, GetAncestor with GA_ROOT); empty when
// another program's window, a menu or nothing of `window` is there, or the
// pointer cannot be read (a secure desktop is showing).
std::optional<POINT> pointerOverWindow(HWND window);

} // namespace kelvo
