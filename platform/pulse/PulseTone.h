#pragma once
// The tone through libpulse, which reaches PulseAudio and PipeWire alike.
// beep() only queues; a worker thread owns the connection and the one
// playback stream, opened on first use and kept for later beeps.

#include "platform/Tone.h"
#include "platform/ToneSamples.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct pa_mainloop;

namespace kelvo {

class PulseTone : public Tone {
public:
    // maxBacklog: how much unplayed tone may wait before further beeps are dropped.
    explicit PulseTone(std::chrono::milliseconds maxBacklog = kToneMaxBacklog);
    // Stops the worker without waiting for queued tones; never waits on the sound server.
    ~PulseTone() override;
    PulseTone(const PulseTone&) = delete;
    PulseTone& operator=(const PulseTone&) = delete;

    // Queues the tone and returns at once; see sanitizeTone() for what is refused.
    void beep(int frequencyHz, int durationMs) override;

    // Blocks until every tone queued so far has played or been dropped, or
    // until timeout; returns false on timeout.
    bool waitUntilPlayed(std::chrono::milliseconds timeout = std::chrono::seconds(30));

private:
    class Worker; // the worker thread's state, in PulseTone.cpp

    void run();

    std::mutex mutex_;
    std::condition_variable settled_;
    std::deque<ToneRequest> queue_;            // not yet taken by the worker
    int outstanding_ = 0;                      // queued or playing, not yet finished
    bool stopping_ = false;
    bool workerBroken_ = false;                // no main loop or thread: beeps stay silent
    const std::chrono::milliseconds maxBacklog_;
    std::chrono::steady_clock::time_point backlogEnd_{};
    pa_mainloop* mainloop_ = nullptr;          // the worker's; woken by beep()
    std::thread thread_;
};

} // namespace kelvo
