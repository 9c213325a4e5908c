#include "platform/win/WaveOutTone.h"

#include "platform/win/WinReport.h"

#include <windows.h>
#include <mmsystem.h>

#include <stdexcept>
#include <string>

namespace kelvo {

namespace {

using Clock = std::chrono::steady_clock;

// After the device could not be opened, beeps are dropped at once for this
// long before the next try (a headset may be plugged in meanwhile).
constexpr auto RetryDelay = std::chrono::seconds(5);
// A device that has not finished a buffer this long after it should have is
// treated as hung, so that the worker never waits on it forever.
constexpr auto StallAllowance = std::chrono::seconds(5);

std::string waveOutError(MMRESULT code)
{
    char text[MAXERRORLENGTH] = {};
    if (waveOutGetErrorTextA(code, text, sizeof text) != MMSYSERR_NOERROR)
        return "error " + std::to_string(code);
    return text;
}

// Samples the device has played since it was opened.
std::uint64_t position(HWAVEOUT device)
{
    MMTIME time{};
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR || time.wType != TIME_SAMPLES)
        return 0;
    return time.u.sample;
}

} // namespace

WaveOutTone::WaveOutTone(std::chrono::milliseconds maxBacklog) : maxBacklog_(maxBacklog) {}

WaveOutTone::~WaveOutTone()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (done_)
        SetEvent(done_);
    if (thread_.joinable())
        thread_.join();
    if (device_) {
        waveOutReset(static_cast<HWAVEOUT>(device_));
        waveOutClose(static_cast<HWAVEOUT>(device_));
    }
    if (done_)
        CloseHandle(done_);
}

void WaveOutTone::beep(int frequencyHz, int durationMs)
{
    const auto tone = sanitizeTone(frequencyHz, durationMs);
    if (!tone)
        return;
    std::lock_guard lock(mutex_);
    if (stopping_ || !admitTone(Clock::now(), backlogEnd_, tone->durationMs, maxBacklog_))
        return;
    if (!thread_.joinable()) {
        done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        try {
            if (!done_)
                throw std::runtime_error("cannot create an event");
            thread_ = std::thread(&WaveOutTone::run, this);
        } catch (const std::exception& e) {
            stopping_ = true;
            reportLine(std::string("no sound output (") + e.what() + "); beeps are silent");
            return;
        }
    }
    queue_.push_back(*tone);
    ++outstanding_;
    changed_.notify_all();
}

bool WaveOutTone::waitUntilPlayed(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return outstanding_ == 0; });
}

std::uint64_t WaveOutTone::samplesPlayed()
{
    std::lock_guard lock(mutex_);
    return samplesPlayed_;
}

void WaveOutTone::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            break;
        const ToneRequest tone = queue_.front();
        queue_.pop_front();
        lock.unlock();
        play(tone);
        lock.lock();
        --outstanding_;
        changed_.notify_all();
    }
    queue_.clear();
    outstanding_ = 0;
    changed_.notify_all();
}

bool WaveOutTone::openDevice()
{
    if (device_)
        return true;
    if (Clock::now() < retryAt_)
        return false;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = kToneSampleRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = kToneSampleRate * 2;
    HWAVEOUT device = nullptr;
    const MMRESULT opened = waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(done_), 0,
                                        CALLBACK_EVENT);
    if (opened != MMSYSERR_NOERROR) {
        retryAt_ = Clock::now() + RetryDelay;
        // Said once: a keyboard without sound is still a keyboard, and a line
        // per keystroke would bury everything else.
        if (!reported_)
            reportLine("no sound output device (" + waveOutError(opened) + "); beeps are silent");
        reported_ = true;
        return false;
    }
    device_ = device;
    return true;
}

void WaveOutTone::play(const ToneRequest& tone)
{
    if (!openDevice())
        return;
    const auto device = static_cast<HWAVEOUT>(device_);
    std::vector<int16_t> samples = toneSamples(tone, kToneSampleRate);
    WAVEHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(samples.data());
    header.dwBufferLength = DWORD(samples.size() * sizeof(int16_t));
    if (waveOutPrepareHeader(device, &header, sizeof header) != MMSYSERR_NOERROR)
        return;
    const std::uint64_t before = position(device);
    bool stalled = false;
    if (waveOutWrite(device, &header, sizeof header) == MMSYSERR_NOERROR) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(tone.durationMs) + StallAllowance;
        while (!(header.dwFlags & WHDR_DONE)) {
            {
                std::lock_guard lock(mutex_);
                if (stopping_)
                    break;
            }
            if (Clock::now() > deadline) {
                reportLine("the sound output device stopped playing; beeps are silent for a while");
                stalled = true;
                break;
            }
            WaitForSingleObject(done_, 100);
        }
        if (!(header.dwFlags & WHDR_DONE))
            waveOutReset(device); // hands the buffer back at once
        const std::uint64_t after = position(device);
        std::lock_guard lock(mutex_);
        samplesPlayed_ += after >= before ? after - before : 0;
    }
    waveOutUnprepareHeader(device, &header, sizeof header);
    // A stalled device is closed, and opened afresh for a later beep.
    if (stalled) {
        waveOutClose(device);
        device_ = nullptr;
        retryAt_ = Clock::now() + RetryDelay;
    }
}

} // namespace kelvo
