#pragma once
// The short beep that may follow a keystroke.

namespace kelvo {

class Tone {
public:
    virtual ~Tone() = default;

    // Plays a sine tone of frequencyHz (Hz) for durationMs (milliseconds) on
    // the default audio output. Returns at once or soon after; the tone plays
    // on its own. Silent where no sound device or server exists.
    virtual void beep(int frequencyHz, int durationMs) = 0;
};

} // namespace kelvo
