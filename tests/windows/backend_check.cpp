// kelvo-backend-check: drives the Windows backends built without Qt, for the
// tests that run it under Wine. One command per run:
//   type [--shift] [--ctrl] [--alt] [--no-wait] TEXT  each character of TEXT, one keystroke each
//   named NAME...             named keys (TAB, ENTER, F1 ...), as the key-string syntax names them
//   held                      the virtual keys the system holds down ("held: none" when none)
//   foreground                the title and [class] of the foreground window
//   probe X Y W H             a window "probe target" at X Y W H with "probe cover" over its
//                             right half; then, for each line "ask" on standard input, prints
//                             "inside X Y" or "outside" for the pointer over the target
//   tone HZ MS [HZ MS ...]    tones asked for at once; prints how long beep() took at most,
//                             then, once they are over, the samples the device played
// Prints "sent" or "failed: why" for the sending commands.

#include "platform/win/WaveOutTone.h"
#include "platform/win/WinKeyInjector.h"
#include "platform/win/WinPointer.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace kelvo;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int usage()
{
    std::fprintf(stderr, "usage: kelvo-backend-check type|named|held|foreground|probe|tone ...\n");
    return 2;
}

int report(const WinKeyInjector::Result& result)
{
    if (result.sent)
        std::printf("sent\n");
    else
        std::printf("failed: %s\n", result.error.c_str());
    return result.sent ? 0 : 1;
}

int typeText(const std::vector<std::wstring>& args)
{
    unsigned modifiers = 0;
    bool wait = true;
    size_t i = 0;
    for (; i < args.size() && args[i].starts_with(L"--"); ++i) {
        if (args[i] == L"--shift")
            modifiers |= ModShift;
        else if (args[i] == L"--ctrl")
            modifiers |= ModCtrl;
        else if (args[i] == L"--alt")
            modifiers |= ModAlt;
        else if (args[i] == L"--no-wait")
            wait = false;
        else
            return usage();
    }
    if (i + 1 != args.size())
        return usage();
    std::vector<KeyAction> actions;
    const std::wstring& text = args[i];
    for (size_t k = 0; k < text.size(); ++k) {
        char32_t c = text[k];
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++k] - 0xDC00);
        actions.push_back({c, NamedKey::None, modifiers});
    }
    return report(WinKeyInjector().send(actions, wait));
}

int typeNamed(const std::vector<std::wstring>& args)
{
    // The key-string names of the keys tried here; the parser itself needs Qt.
    static const std::pair<const wchar_t*, NamedKey> names[] = {
        {L"BACKSPACE", NamedKey::Backspace}, {L"DEL", NamedKey::Delete}, {L"DOWN", NamedKey::Down},
        {L"END", NamedKey::End}, {L"ENTER", NamedKey::Enter}, {L"ESC", NamedKey::Escape},
        {L"HOME", NamedKey::Home}, {L"INSERT", NamedKey::Insert}, {L"LEFT", NamedKey::Left},
        {L"PGDN", NamedKey::PageDown}, {L"PGUP", NamedKey::PageUp}, {L"RIGHT", NamedKey::Right},
        {L"TAB", NamedKey::Tab}, {L"UP", NamedKey::Up}, {L"F1", NamedKey::F1}, {L"F12", NamedKey::F12},
    };
    std::vector<KeyAction> actions;
    for (const std::wstring& arg : args) {
        NamedKey key = NamedKey::None;
        for (const auto& [name, named] : names)
            if (arg == name)
                key = named;
        if (key == NamedKey::None)
            return usage();
        actions.push_back({0, key, 0});
    }
    return report(WinKeyInjector().send(actions, true));
}

int held()
{
    std::string keys;
    for (int vk = 1; vk < 256; ++vk) {
        if (vk == VK_LBUTTON || vk == VK_RBUTTON || vk == VK_MBUTTON)
            continue;
        if (GetAsyncKeyState(vk) & 0x8000) {
            char text[8];
            std::snprintf(text, sizeof text, " 0x%02x", vk);
            keys += text;
        }
    }
    std::printf("held:%s\n", keys.empty() ? " none" : keys.c_str());
    return 0;
}

int foreground()
{
    const HWND window = GetForegroundWindow();
    wchar_t title[256] = {}, windowClass[256] = {};
    GetWindowTextW(window, title, 256);
    GetClassNameW(window, windowClass, 256);
    char utf8[1024] = {}, classUtf8[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, title, -1, utf8, sizeof utf8, nullptr, nullptr);
    WideCharToMultiByte(CP_UTF8, 0, windowClass, -1, classUtf8, sizeof classUtf8, nullptr, nullptr);
    std::printf("foreground: %s [%s]\n", utf8, window ? classUtf8 : "none");
    return 0;
}

HWND plainWindow(const wchar_t* title, int x, int y, int w, int h, DWORD exStyle)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = L"KelvoProbeCheck";
        RegisterClassW(&windowClass);
        registered = true;
    }
    HWND window = CreateWindowExW(exStyle, L"KelvoProbeCheck", title, WS_POPUP | WS_VISIBLE, x, y, w, h,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    // A child window: the probe must answer for the top-level window around it.
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, w, h, window, nullptr, nullptr, nullptr);
    return window;
}

void pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int probe(const std::vector<std::wstring>& args)
{
    if (args.size() != 4)
        return usage();
    const int x = std::stoi(args[0]), y = std::stoi(args[1]), w = std::stoi(args[2]), h = std::stoi(args[3]);
    HWND target = plainWindow(L"probe target", x, y, w, h, 0);
    plainWindow(L"probe cover", x + w / 2, y, w - w / 2, h, WS_EX_TOPMOST);
    pump();
    std::printf("ready\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        pump();
        if (std::string(line).starts_with("ask")) {
            if (const auto at = pointerOverWindow(target))
                std::printf("inside %ld %ld\n", at->x, at->y);
            else
                std::printf("outside\n");
            std::fflush(stdout);
        }
    }
    return 0;
}

int tone(const std::vector<std::wstring>& args)
{
    if (args.empty() || args.size() % 2 != 0)
        return usage();
    WaveOutTone player;
    const auto start = Clock::now();
    double longest = 0;
    for (size_t i = 0; i < args.size(); i += 2) {
        const auto asked = Clock::now();
        player.beep(std::stoi(args[i]), std::stoi(args[i + 1]));
        longest = std::max(longest, msSince(asked));
    }
    std::printf("beep returned after %.1f ms at most\n", longest);
    const bool settled = player.waitUntilPlayed(std::chrono::seconds(20));
    std::printf("%s after %.1f ms: %llu samples played\n", settled ? "done" : "still playing",
                msSince(start), static_cast<unsigned long long>(player.samplesPlayed()));
    return settled ? 0 : 1;
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    LocalFree(argv);
    if (args.empty())
        return usage();
    const std::wstring command = args.front();
    args.erase(args.begin());
    if (command == L"type")
        return typeText(args);
    if (command == L"named")
        return typeNamed(args);
    if (command == L"held" && args.empty())
        return held();
    if (command == L"foreground" && args.empty())
        return foreground();
    if (command == L"probe")
        return probe(args);
    if (command == L"tone")
        return tone(args);
    return usage();
}
