#pragma once
// A tone that plays nothing and records every beep.

#include "platform/Tone.h"

#include <vector>

namespace kelvo {

class FakeTone : public Tone {
public:
    struct Beep {
        int frequencyHz;
        int durationMs;
        bool operator==(const Beep&) const = default;
    };

    void beep(int frequencyHz, int durationMs) override;

    const std::vector<Beep>& beeps() const { return beeps_; }
    void clear() { beeps_.clear(); }

private:
    std::vector<Beep> beeps_;
};

} // namespace kelvo
