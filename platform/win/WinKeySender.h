#pragma once
// The key sender on Windows: key strings parsed as everywhere, typed by
// WinKeyInjector (SendInput through the foreground window's layout).
//
// With tracing on, every key string sent is written as one line, as
// reportLine() does: the string in canonical form and the key events sent for
// it,
//   kelvo: sent "+a" = +0x10:Shift +0x41:A -0x41:A -0x10:Shift
// (+ press, - release, virtual key:its name, U+XXXX for a character typed as
// itself), and "(failed: why)" after the events when the system refused some.

#include "platform/Platform.h"
#include "platform/win/WinKeyInjector.h"

namespace kelvo {

class WinKeySender final : public KeySender {
public:
    // With trace, every send is reported as above.
    explicit WinKeySender(bool trace);

protected:
    SendResult sendActions(const std::vector<KeyAction>& actions, bool wait) override;

private:
    WinKeyInjector injector_;
    const bool trace_;
};

} // namespace kelvo
