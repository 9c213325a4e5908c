// kelvo-keylog LOGFILE [X Y W H]: a window titled "kelvo keylog" that writes
// every keyboard message it receives, and its activation, to LOGFILE, one
// line each, flushed at once:
//   key down vk=0x41 scan=0x1e ext=0     WM_KEYDOWN (sys: WM_SYSKEYDOWN)
//   key up vk=0x41 scan=0x1e ext=0       WM_KEYUP (sys: WM_SYSKEYUP)
//   char U+0061                          WM_CHAR (syschar: WM_SYSCHAR)
//   active 1 / active 0                  WM_ACTIVATE
// The tests type into it and read the log.

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

FILE* logFile = nullptr;

void logKey(const char* kind, WPARAM wParam, LPARAM lParam)
{
    std::fprintf(logFile, "%s vk=0x%02x scan=0x%02x ext=%d\n", kind, unsigned(wParam),
                 unsigned((lParam >> 16) & 0xff), int((lParam >> 24) & 1));
    std::fflush(logFile);
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN: logKey("key down", wParam, lParam); return 0;
    case WM_KEYUP: logKey("key up", wParam, lParam); return 0;
    case WM_SYSKEYDOWN: logKey("syskey down", wParam, lParam); return 0;
    case WM_SYSKEYUP: logKey("syskey up", wParam, lParam); return 0;
    case WM_CHAR:
    case WM_SYSCHAR:
        std::fprintf(logFile, "%s U+%04X\n", message == WM_CHAR ? "char" : "syschar", unsigned(wParam));
        std::fflush(logFile);
        return 0;
    case WM_ACTIVATE:
        std::fprintf(logFile, "active %d\n", LOWORD(wParam) != WA_INACTIVE);
        std::fflush(logFile);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: kelvo-keylog LOGFILE [X Y W H]\n");
        return 2;
    }
    logFile = std::fopen(argv[1], "w");
    if (!logFile) {
        std::perror(argv[1]);
        return 1;
    }
    int x = 100, y = 100, w = 400, h = 300;
    if (argc == 6) {
        x = std::atoi(argv[2]);
        y = std::atoi(argv[3]);
        w = std::atoi(argv[4]);
        h = std::atoi(argv[5]);
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"KelvoKeyLog";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"KelvoKeyLog", L"kelvo keylog", WS_OVERLAPPEDWINDOW, x, y, w, h,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    std::fclose(logFile);
    return 0;
}
