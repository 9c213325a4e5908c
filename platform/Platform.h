#pragma once
// The one place that picks the platform backends for this build.

#include "platform/KeySender.h"
#include "platform/PointerProbe.h"
#include "platform/Tone.h"

#include <QString>

#include <memory>

namespace kelvo {

enum class SenderProblem {
    None,
    NoDisplay,   // the display server could not be reached
    NoInjection, // it has no way to inject keystrokes (no XTest)
};

struct SenderOpening {
    std::unique_ptr<KeySender> sender;   // null when problem is not None
    SenderProblem problem = SenderProblem::None;
    QString error;                        // a sentence for people
};

// Connects the key sender to the desktop named by the environment (DISPLAY).
SenderOpening openKeySender();

// The pointer as the desktop's display server sees it; null when the
// display cannot be reached.
std::unique_ptr<PointerProbe> openPointerProbe();

// The tone of this platform; a silent one where no sound device exists.
std::unique_ptr<Tone> openTone();

// One pass of the event loop: pending events are dispatched, which may run
// other handlers before the caller goes on.
void DoEvents();

} // namespace kelvo
