#include "platform/Platform.h"

#include "platform/pulse/PulseTone.h"
#include "platform/x11/X11KeySender.h"
#include "platform/x11/X11PointerProbe.h"

namespace kelvo {

// KELVO_TRACE=1 writes every keystroke sent to standard error. It is off
// unless asked for, since what is typed may be a password.
static bool traceRequested()
{
    return qEnvironmentVariable("KELVO_TRACE") == QLatin1String("1");
}

SenderOpening openKeySender()
{
    return X11KeySender::open(traceRequested());
}

std::unique_ptr<PointerProbe> openPointerProbe()
{
    return X11PointerProbe::open();
}

std::unique_ptr<Tone> openTone()
{
    return std::make_unique<PulseTone>();
}

} // namespace kelvo
