#include "platform/Platform.h"

#include "platform/pulse/PulseTone.h"
#include "platform/x11/X11KeySender.h"

#include <QCoreApplication>

namespace kelvo {

SenderOpening openKeySender()
{
    return X11KeySender::open();
}

std::unique_ptr<Tone> openTone()
{
    return std::make_unique<PulseTone>();
}

void DoEvents()
{
    QCoreApplication::processEvents();
}

} // namespace kelvo
