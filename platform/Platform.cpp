#include "platform/Platform.h"

#include "platform/pulse/PulseTone.h"
#include "platform/x11/X11KeySender.h"
#include "platform/x11/X11PointerProbe.h"
#include "platform/x11/X11WindowRole.h"

namespace kelvo {

void prepareSession() {}

SenderOpening openKeySender()
{
    return X11KeySender::open(keystrokeTraceOn());
}

std::unique_ptr<PointerProbe> openPointerProbe()
{
    return X11PointerProbe::open();
}

std::unique_ptr<Tone> openTone()
{
    return std::make_unique<PulseTone>();
}

std::unique_ptr<WindowRole> openWindowRole()
{
    if (std::unique_ptr<WindowRole> role = X11WindowRole::open())
        return role;
    return std::make_unique<WindowRole>();
}

} // namespace kelvo
