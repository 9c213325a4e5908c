#include "platform/win/WinKeyInjector.h"

#include <windows.h>

#include <cstdio>
#include <cwctype>
#include <iterator>

namespace kelvo {

namespace {

struct VirtualKey {
    WORD vk = 0;
    bool extended = false; // a real keyboard sends it with the E0 prefix
};

VirtualKey namedVirtualKey(NamedKey key)
{
    switch (key) {
    case NamedKey::None: break;
    case NamedKey::Backspace: return {VK_BACK};
    case NamedKey::Break: return {VK_CANCEL, true};
    case NamedKey::CapsLock: return {VK_CAPITAL};
    case NamedKey::Delete: return {VK_DELETE, true};
    case NamedKey::Down: return {VK_DOWN, true};
    case NamedKey::End: return {VK_END, true};
    case NamedKey::Enter: return {VK_RETURN};
    case NamedKey::Escape: return {VK_ESCAPE};
    case NamedKey::Help: return {VK_HELP};
    case NamedKey::Home: return {VK_HOME, true};
    case NamedKey::Insert: return {VK_INSERT, true};
    case NamedKey::Left: return {VK_LEFT, true};
    case NamedKey::NumLock: return {VK_NUMLOCK, true};
    case NamedKey::PageDown: return {VK_NEXT, true};
    case NamedKey::PageUp: return {VK_PRIOR, true};
    case NamedKey::PrintScreen: return {VK_SNAPSHOT, true};
    case NamedKey::Right: return {VK_RIGHT, true};
    case NamedKey::ScrollLock: return {VK_SCROLL};
    case NamedKey::Tab: return {VK_TAB};
    case NamedKey::Up: return {VK_UP, true};
    default:
        if (key >= NamedKey::F1 && key <= NamedKey::F16)
            return {WORD(VK_F1 + (int(key) - int(NamedKey::F1)))};
    }
    return {};
}

// The events of one send, built whole before anything is sent.
class Events {
public:
    Events(HKL layout, bool trace)
        : layout_(layout)
        , trace_(trace)
    {
    }

    void key(VirtualKey key, bool down)
    {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key.vk;
        input.ki.wScan = WORD(MapVirtualKeyExW(key.vk, MAPVK_VK_TO_VSC, layout_));
        input.ki.dwFlags = (key.extended ? KEYEVENTF_EXTENDEDKEY : 0) | (down ? 0 : KEYEVENTF_KEYUP);
        inputs_.push_back(input);
        if (trace_)
            note(down, key);
    }

    void unit(wchar_t unit, bool down)
    {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = WORD(unit);
        input.ki.dwFlags = KEYEVENTF_UNICODE | (down ? 0 : KEYEVENTF_KEYUP);
        inputs_.push_back(input);
        if (trace_) {
            char text[16];
            std::snprintf(text, sizeof text, " %cU+%04X", down ? '+' : '-', unsigned(unit));
            trace_text_ += text;
        }
    }

    std::vector<INPUT>& inputs() { return inputs_; }
    std::string& trace() { return trace_text_; }

private:
    void note(bool down, VirtualKey key)
    {
        wchar_t wide[64] = {};
        const LONG lparam = LONG(MapVirtualKeyExW(key.vk, MAPVK_VK_TO_VSC, layout_) << 16)
            | (key.extended ? (1L << 24) : 0);
        const int n = GetKeyNameTextW(lparam, wide, 64);
        char name[64] = {};
        WideCharToMultiByte(CP_UTF8, 0, wide, n, name, sizeof name - 1, nullptr, nullptr);
        char text[96];
        std::snprintf(text, sizeof text, " %c0x%02X:%s", down ? '+' : '-', unsigned(key.vk),
                      n > 0 ? name : "?");
        trace_text_ += text;
    }

    HKL layout_;
    bool trace_;
    std::vector<INPUT> inputs_;
    std::string trace_text_;
};

constexpr VirtualKey ShiftKey{VK_SHIFT};
constexpr VirtualKey CtrlKey{VK_CONTROL};
constexpr VirtualKey AltKey{VK_MENU};

// The stroke that types `character` on `layout`: a virtual key and the
// KeyModifier bits it needs; no key when the layout has none for it, or only
// a dead key (which would wait for the next key instead of typing).
struct Stroke {
    VirtualKey key;
    unsigned modifiers = 0;
};

bool findOnLayout(char32_t character, HKL layout, Stroke* stroke)
{
    if (character > 0xFFFF)
        return false;
    const SHORT scan = VkKeyScanExW(wchar_t(character), layout);
    if (scan == -1)
        return false;
    const BYTE vk = LOBYTE(scan);
    const BYTE shifts = HIBYTE(scan);
    // Bits beyond Shift, Ctrl and Alt name the Hankaku key and layout-private
    // states that cannot be pressed from here.
    if (shifts & ~7u)
        return false;
    if (MapVirtualKeyExW(vk, MAPVK_VK_TO_CHAR, layout) & 0x80000000u)
        return false;
    stroke->key = {vk};
    stroke->modifiers = (shifts & 1 ? unsigned(ModShift) : 0u) | (shifts & 2 ? unsigned(ModCtrl) : 0u)
        | (shifts & 4 ? unsigned(ModAlt) : 0u);
    // Caps Lock turns the letter keys' levels round; Shift turns them back.
    const bool cased = std::towupper(wint_t(character)) != std::towlower(wint_t(character));
    if (cased && (GetKeyState(VK_CAPITAL) & 1))
        stroke->modifiers ^= ModShift;
    return true;
}

void withModifiers(Events& events, unsigned modifiers, bool down)
{
    const VirtualKey order[] = {CtrlKey, AltKey, ShiftKey};
    const unsigned bits[] = {ModCtrl, ModAlt, ModShift};
    if (down) {
        for (int i = 0; i < 3; ++i)
            if (modifiers & bits[i])
                events.key(order[i], true);
    } else {
        for (int i = 2; i >= 0; --i)
            if (modifiers & bits[i])
                events.key(order[i], false);
    }
}

void addAction(Events& events, const KeyAction& action, HKL layout)
{
    if (action.key != NamedKey::None) {
        const VirtualKey key = namedVirtualKey(action.key);
        withModifiers(events, action.modifiers, true);
        events.key(key, true);
        events.key(key, false);
        withModifiers(events, action.modifiers, false);
        return;
    }
    Stroke stroke;
    if (findOnLayout(action.character, layout, &stroke)) {
        const unsigned modifiers = stroke.modifiers | action.modifiers;
        withModifiers(events, modifiers, true);
        events.key(stroke.key, true);
        events.key(stroke.key, false);
        withModifiers(events, modifiers, false);
        return;
    }
    // Typed as itself: the receiving window gets the character (VK_PACKET)
    // whatever its layout.
    wchar_t units[2];
    int count = 1;
    if (action.character > 0xFFFF) {
        const char32_t v = action.character - 0x10000;
        units[0] = wchar_t(0xD800 + (v >> 10));
        units[1] = wchar_t(0xDC00 + (v & 0x3FF));
        count = 2;
    } else {
        units[0] = wchar_t(action.character);
    }
    withModifiers(events, action.modifiers, true);
    for (int i = 0; i < count; ++i) {
        events.unit(units[i], true);
        events.unit(units[i], false);
    }
    withModifiers(events, action.modifiers, false);
}

// The releases that undo the presses among inputs[0, sent), so that a send
// cut short leaves nothing held.
std::vector<INPUT> releasesFor(const std::vector<INPUT>& inputs, UINT sent)
{
    std::vector<INPUT> held;
    for (UINT i = 0; i < sent; ++i) {
        const INPUT& input = inputs[i];
        const bool up = input.ki.dwFlags & KEYEVENTF_KEYUP;
        auto same = [&](const INPUT& other) {
            return other.ki.wVk == input.ki.wVk && other.ki.wScan == input.ki.wScan;
        };
        if (!up) {
            held.push_back(input);
        } else {
            for (auto it = held.rbegin(); it != held.rend(); ++it)
                if (same(*it)) {
                    held.erase(std::next(it).base());
                    break;
                }
        }
    }
    std::vector<INPUT> releases(held.rbegin(), held.rend());
    for (INPUT& input : releases)
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
    return releases;
}

std::string lastErrorText()
{
    const DWORD code = GetLastError();
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   code, 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

} // namespace

WinKeyInjector::Result WinKeyInjector::send(const std::vector<KeyAction>& actions, bool wait, bool trace)
{
    // The layout that counts is the one of the thread that will read the keys.
    const HWND foreground = GetForegroundWindow();
    const DWORD thread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    const HKL layout = GetKeyboardLayout(thread);

    Events events(layout, trace);
    for (const KeyAction& action : actions)
        addAction(events, action, layout);
    std::vector<INPUT>& inputs = events.inputs();
    events_ = std::move(events.trace());

    Result result;
    const UINT sent = SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent != inputs.size()) {
        result.error = "the system took " + std::to_string(sent) + " of " + std::to_string(inputs.size())
            + " key events (" + lastErrorText() + ")";
        std::vector<INPUT> releases = releasesFor(inputs, sent);
        if (!releases.empty())
            SendInput(UINT(releases.size()), releases.data(), sizeof(INPUT));
        return result;
    }
    result.sent = true;
    if (wait && foreground) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(foreground, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, WaitLimitMs, &answer);
    }
    return result;
}

} // namespace kelvo
