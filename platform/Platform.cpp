#include "platform/Platform.h"

#if defined(_WIN32)
#include "platform/win/WaveOutTone.h"
#include "platform/win/WinKeySender.h"
#include "platform/win/WinPointerProbe.h"
#include "platform/win/WinWindowRole.h"
#else
#include "platform/pulse/PulseTone.h"
#include "platform/x11/X11KeySender.h"
#include "platform/x11/X11PointerProbe.h"
#include "platform/x11/X11WindowRole.h"
#endif

namespace kelvo {

#if defined(_WIN32)

void prepareSession() {}

// Windows has one desktop per session and SendInput on every one of them.
SenderOpening openKeySender()
{
    return {std::make_unique<WinKeySender>(keystrokeTraceOn()), SenderProblem::None, {}};
}

std::unique_ptr<PointerProbe> openPointerProbe()
{
    return std::make_unique<WinPointerProbe>();
}

std::unique_ptr<Tone> openTone()
{
    return std::make_unique<WaveOutTone>();
}

std::unique_ptr<WindowRole> openWindowRole()
{
    return std::make_unique<WinWindowRole>();
}

#else

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

#endif

} // namespace kelvo
