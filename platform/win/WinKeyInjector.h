#pragma once
// Types parsed keystrokes into the foreground window through SendInput, in
// plain Win32 (no Qt), so that it can be built and tried on its own.
//
// Each character is looked up in the keyboard layout of the foreground
// window's thread (VkKeyScanExW) and typed as that virtual key with the
// Shift, Ctrl and Alt it needs (AltGr as Ctrl+Alt) pressed around it; a
// character the layout lacks, or reaches only through a dead key, is typed as
// itself (KEYEVENTF_UNICODE, two UTF-16 halves beyond the Basic Multilingual
// Plane). Named keys are virtual keys, with the extended-key flag where a real
// keyboard sets it. The modifiers a keystroke asks for are held around it.
//
// A whole send is one SendInput call, so no other input comes between its
// events and every key it presses is released in the same call: a process
// ended at any moment, even mid-send, leaves no key down.

#include "platform/KeyAction.h"

#include <string>
#include <vector>

namespace kelvo {

class WinKeyInjector {
public:
    struct Result {
        bool sent = false;
        std::string error; // why not everything was sent, when sent is false
    };

    // Sends actions to the foreground window. With wait, then sends the
    // foreground window a WM_NULL (SendMessageTimeout, at most WaitLimitMs)
    // and returns once its thread has answered it: that thread has come back
    // to its message loop, which takes sent messages before input, so the
    // keystrokes are in its queue and it is not busy with earlier work; it
    // does not prove that it has read them. With trace, events() lists what
    // the last send pressed and released.
    Result send(const std::vector<KeyAction>& actions, bool wait, bool trace = false);

    // The last send's events, when it traced: " +0x10:Shift +0x41:A -0x41:A
    // -0x10:Shift" (+ press, - release, virtual key and its name; U+XXXX for
    // a character typed as itself).
    const std::string& events() const { return events_; }

    // How long a wait waits at most for the foreground thread, in milliseconds.
    static constexpr unsigned WaitLimitMs = 1000;

private:
    std::string events_;
};

} // namespace kelvo
