#pragma once
// PLACEHOLDER until the XTest sender lands (being written this session).
#include "platform/Platform.h"
namespace kelvo {
class X11KeySender {
public:
    static SenderOpening open() { return {nullptr, SenderProblem::NoDisplay, "not built yet"}; }
};
}
