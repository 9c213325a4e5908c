#pragma once
// What Kelvo tells Qt's Wayland plugin before it starts, and what it makes
// of the plugin's messages.

namespace kelvo {

class WaylandKeySender;

// Sets what Qt's Wayland plugin reads at its start: windows asking for it
// get surfaces without a shell role, for the layer shell to give them
// theirs; and, unless the user chose otherwise, no GPU buffers, as every
// window here is drawn in memory (the EGL and driver libraries alone would
// add some 50 MB and a slower start).
void prepareQtForWayland();

// From now on, a message of Qt's that comes as the compositor goes away
// (told by `sender`'s own connection) ends the process at once with a
// message and status 1: Qt's plugin would end it with exit() from whichever
// thread noticed, while the others run on into the clean-up. Also keeps Qt
// from saying that the GPU buffers prepareQtForWayland left out are missing,
// or that a tray icon without a tray host finds no X11 signal.
void watchCompositor(WaylandKeySender* sender);

// Stops watching through `sender`, which is going away.
void unwatchCompositor(WaylandKeySender* sender);

} // namespace kelvo
