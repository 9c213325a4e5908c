#pragma once
// What KWin says of its keyboard layouts over the session bus.

#include <optional>

namespace kelvo {

// The index of the layout in use, as KWin counts them (in the order of its
// keymap's groups); empty when KWin does not answer within a moment.
std::optional<unsigned> kwinLayoutInUse();

} // namespace kelvo
