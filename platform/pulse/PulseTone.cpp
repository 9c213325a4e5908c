#include "platform/pulse/PulseTone.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/proplist.h>
#include <pulse/stream.h>

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

namespace kelvo {

namespace {

using Clock = std::chrono::steady_clock;

// A server that takes longer than this to accept us is treated as absent.
constexpr std::chrono::seconds kConnectTimeout{5};
// A server that has not played out what it was given this long after it
// should have is treated as hung, so that the worker never waits on it forever.
constexpr std::chrono::seconds kStallTimeout{5};
// After a failure, beeps are dropped at once for this long before the next try.
constexpr std::chrono::seconds kRetryDelay{5};
// A small playback buffer: the server's default latency can be seconds.
constexpr pa_usec_t kTargetLatencyUs = 30000;

void reportSilence(const char* what, const std::string& why)
{
    std::fprintf(stderr, "kelvo: %s (%s); beeps are silent\n", what, why.c_str());
    std::fflush(stderr);
}

} // namespace

// Everything the worker thread owns. libpulse callbacks only note what
// happened; step() acts on it outside them, so nothing is torn down from
// inside its own callback.
class PulseTone::Worker {
public:
    Worker(PulseTone& owner, pa_mainloop* mainloop) : owner_(owner), mainloop_(mainloop) {}
    ~Worker() { disconnect(); }

    // Serves the queue until the owner stops; returns without waiting on the server.
    void loop()
    {
        for (;;) {
            {
                std::lock_guard lock(owner_.mutex_);
                if (owner_.stopping_)
                    return;
                while (!owner_.queue_.empty()) {
                    pending_.push_back(owner_.queue_.front());
                    owner_.queue_.pop_front();
                }
            }
            step();
            if (pa_mainloop_prepare(mainloop_, pollTimeoutUs()) < 0)
                return;
            {
                // prepare() swallows wakeups sent since the queue was last
                // looked at; renew them so that poll() does not sleep on them.
                std::lock_guard lock(owner_.mutex_);
                if (owner_.stopping_ || !owner_.queue_.empty())
                    pa_mainloop_wakeup(mainloop_);
            }
            pa_mainloop_poll(mainloop_);
            pa_mainloop_dispatch(mainloop_);
        }
    }

private:
    enum class Link { Down, Connecting, Ready };

    void step()
    {
        const auto now = Clock::now();
        if (!failure_.empty())
            fail(failure_);
        else if (link_ == Link::Connecting && now >= connectDeadline_)
            fail("the sound server did not answer");
        else if (link_ == Link::Ready && drain_ && now >= playEnd_ + kStallTimeout)
            fail("the sound server stopped playing");

        if (!pending_.empty() && link_ == Link::Down) {
            if (now >= retryAt_)
                connect();
            else
                finish(dropPending());
        }
        if (link_ != Link::Ready)
            return;
        writePending();
        if (!drain_ && writtenUndrained_ > 0)
            startDrain();
        if (!drain_ && writtenUndrained_ == 0 && pending_.empty() && !corked_) {
            // An idle, uncorked stream keeps the sound device (and a PipeWire graph) awake.
            if (pa_operation* op = pa_stream_cork(stream_, 1, nullptr, nullptr))
                pa_operation_unref(op);
            corked_ = true;
        }
    }

    int pollTimeoutUs() const
    {
        Clock::time_point deadline = Clock::time_point::max();
        if (link_ == Link::Connecting)
            deadline = connectDeadline_;
        else if (drain_)
            deadline = playEnd_ + kStallTimeout;
        if (deadline == Clock::time_point::max())
            return -1;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        // Rounded up by a millisecond so the deadline has passed when poll returns.
        return int(std::clamp<int64_t>(left.count() + 1000, 0, 60'000'000));
    }

    void connect()
    {
        everReady_ = false;
        context_ = pa_context_new(pa_mainloop_get_api(mainloop_), "Kelvo");
        if (!context_) {
            fail("cannot create a sound server context");
            return;
        }
        pa_context_set_state_callback(context_, &Worker::onContextState, this);
        link_ = Link::Connecting;
        connectDeadline_ = Clock::now() + kConnectTimeout;
        // No autospawn: a keyboard should not start a sound daemon behind the user's back.
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            fail(pa_strerror(pa_context_errno(context_)));
    }

    static void onContextState(pa_context* context, void* self)
    {
        auto* w = static_cast<Worker*>(self);
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            w->openStream();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            w->noteFailure(pa_strerror(pa_context_errno(context)));
            break;
        default:
            break;
        }
    }

    void openStream()
    {
        const pa_sample_spec sampleFormat{PA_SAMPLE_S16NE, uint32_t(kToneSampleRate), 1};
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "event");
        stream_ = pa_stream_new_with_proplist(context_, "Keystroke beep", &sampleFormat, nullptr, props);
        pa_proplist_free(props);
        if (!stream_) {
            noteFailure(pa_strerror(pa_context_errno(context_)));
            return;
        }
        pa_stream_set_state_callback(stream_, &Worker::onStreamState, this);
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(pa_usec_to_bytes(kTargetLatencyUs, &sampleFormat));
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(-1);
        corked_ = false;
        if (pa_stream_connect_playback(stream_, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                       nullptr) < 0)
            noteFailure(pa_strerror(pa_context_errno(context_)));
    }

    static void onStreamState(pa_stream* stream, void* self)
    {
        auto* w = static_cast<Worker*>(self);
        switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            w->link_ = Link::Ready;
            w->everReady_ = true;
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            w->noteFailure(pa_strerror(pa_context_errno(pa_stream_get_context(stream))));
            break;
        default:
            break;
        }
    }

    void writePending()
    {
        while (!pending_.empty()) {
            const ToneRequest tone = pending_.front();
            const auto samples = toneSamples(tone, kToneSampleRate);
            if (corked_) {
                if (pa_operation* op = pa_stream_cork(stream_, 0, nullptr, nullptr))
                    pa_operation_unref(op);
                corked_ = false;
            }
            if (pa_stream_write(stream_, samples.data(), samples.size() * sizeof(samples[0]),
                                nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                fail(pa_strerror(pa_context_errno(context_)));
                return;
            }
            pending_.pop_front();
            ++writtenUndrained_;
            playEnd_ = std::max(Clock::now(), playEnd_) + std::chrono::milliseconds(tone.durationMs);
        }
    }

    // A drain tells when the server has played everything written; it also
    // starts playback of a tone shorter than the prebuffer. Only one may be
    // pending per stream, so tones written meanwhile wait for the next one.
    void startDrain()
    {
        drain_ = pa_stream_drain(stream_, &Worker::onDrained, this);
        if (!drain_) {
            fail(pa_strerror(pa_context_errno(context_)));
            return;
        }
        inDrain_ = writtenUndrained_;
        writtenUndrained_ = 0;
    }

    static void onDrained(pa_stream*, int success, void* self)
    {
        auto* w = static_cast<Worker*>(self);
        if (!w->drain_)
            return;
        pa_operation_unref(w->drain_);
        w->drain_ = nullptr;
        if (!success) {
            w->noteFailure("playback failed");
            return;
        }
        w->finish(w->inDrain_);
        w->inDrain_ = 0;
    }

    void noteFailure(const std::string& why)
    {
        if (failure_.empty())
            failure_ = why;
    }

    // Drops the connection and everything queued on it, tells the user once,
    // and leaves reconnecting to a later beep.
    void fail(const std::string& why)
    {
        if (!reported_) {
            reported_ = true;
            reportSilence(everReady_ ? "sound output lost" : "no sound output", why);
        }
        disconnect();
        finish(dropPending() + inDrain_ + writtenUndrained_);
        inDrain_ = writtenUndrained_ = 0;
        failure_.clear();
        retryAt_ = Clock::now() + kRetryDelay;
    }

    void disconnect()
    {
        if (drain_) {
            pa_operation_cancel(drain_);
            pa_operation_unref(drain_);
            drain_ = nullptr;
        }
        if (stream_) {
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        link_ = Link::Down;
    }

    int dropPending()
    {
        const int n = int(pending_.size());
        pending_.clear();
        return n;
    }

    void finish(int tones)
    {
        if (tones == 0)
            return;
        std::lock_guard lock(owner_.mutex_);
        owner_.outstanding_ -= tones;
        if (owner_.outstanding_ == 0)
            owner_.settled_.notify_all();
    }

    PulseTone& owner_;
    pa_mainloop* mainloop_;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    pa_operation* drain_ = nullptr;
    Link link_ = Link::Down;
    bool corked_ = false;
    bool everReady_ = false;
    bool reported_ = false;
    std::string failure_;                    // noted by a callback, acted on by step()
    std::deque<ToneRequest> pending_;        // taken from the queue, not yet written
    int writtenUndrained_ = 0;               // written after the pending drain was asked for
    int inDrain_ = 0;                        // covered by the pending drain
    Clock::time_point playEnd_{};            // when the written tones should have played out
    Clock::time_point connectDeadline_{};
    Clock::time_point retryAt_{};
};

PulseTone::PulseTone(std::chrono::milliseconds maxBacklog) : maxBacklog_(maxBacklog) {}

PulseTone::~PulseTone()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (mainloop_)
            pa_mainloop_wakeup(mainloop_);
    }
    if (thread_.joinable())
        thread_.join();
    if (mainloop_)
        pa_mainloop_free(mainloop_);
}

void PulseTone::beep(int frequencyHz, int durationMs)
{
    const auto tone = sanitizeTone(frequencyHz, durationMs);
    if (!tone)
        return;
    std::lock_guard lock(mutex_);
    if (stopping_ || !admitTone(Clock::now(), backlogEnd_, tone->durationMs, maxBacklog_))
        return;
    if (!thread_.joinable()) {
        if (workerBroken_)
            return;
        mainloop_ = pa_mainloop_new();
        try {
            if (!mainloop_)
                throw std::runtime_error("cannot create a main loop");
            thread_ = std::thread(&PulseTone::run, this);
        } catch (const std::exception& e) {
            workerBroken_ = true;
            reportSilence("no sound output", e.what());
            return;
        }
    }
    queue_.push_back(*tone);
    ++outstanding_;
    pa_mainloop_wakeup(mainloop_);
}

bool PulseTone::waitUntilPlayed(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return settled_.wait_for(lock, timeout, [this] { return outstanding_ == 0; });
}

void PulseTone::run()
{
    // A write to a server that just died must not kill the whole program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    {
        Worker worker(*this, mainloop_);
        worker.loop();
    }
    std::lock_guard lock(mutex_);
    queue_.clear();
    outstanding_ = 0;
    settled_.notify_all();
}

} // namespace kelvo
