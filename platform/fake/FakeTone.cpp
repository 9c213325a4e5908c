#include "platform/fake/FakeTone.h"

namespace kelvo {

void FakeTone::beep(int frequencyHz, int durationMs)
{
    beeps_.push_back({frequencyHz, durationMs});
}

} // namespace kelvo
